// One libFuzzer program per outside input, chosen by FUZZ_STATE_BYTES or FUZZ_SETTINGS_FILE, and one
// (FUZZ_XML_READER) that reads again what the framework writes from what the XML reader read.
// Framework assertions abort, JACK never looks for a server, and what an input posts is delivered.
#include "PluginProcessor.h"
#include "StandaloneFilterApp.h"
#include "StandalonePluginHolder.h"
#include "SettingsFile.h"
#include "XmlReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace juce
{
// The framework's own step of its message loop: delivers one pending message, if any.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
// Aborts on any framework assertion, so on a failed jassert here.
struct AbortingLogger final : juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        std::fprintf (stderr, "%s\n", message.toRawUTF8());

        if (message.startsWith ("JUCE Assertion failure"))
            std::abort();
    }
} logger;

juce::ScopedJuceInitialiser_GUI* framework = nullptr;

// What must hold for any processor after any load: every parameter in 0..1, and its state read back
// by a new processor into the same bytes.
void checkProcessor (juce::AudioProcessor& processor)
{
    for (auto* parameter : processor.getParameters())
        jassert (parameter->getValue() >= 0.0f && parameter->getValue() <= 1.0f);

    // What it writes, it takes again, and writes again as it was: as loaded, and with every
    // parameter at an extreme or at a value written at its longest.
    for (const auto value : { -1.0f, 0.0f, 1.0f, 1.0e-7f, 0.93833333f })
    {
        if (value >= 0.0f)
            for (auto* parameter : processor.getParameters())
                parameter->setValueNotifyingHost (value);

        juce::MemoryBlock saved, again;
        processor.getStateInformation (saved);
        JuceDemoPluginAudioProcessor reader;
        jassert (reader.takeState (saved.getData(), (int) saved.getSize()) == JuceDemoPluginAudioProcessor::StateReading::taken);
        reader.getStateInformation (again);
        jassert (again == saved);
    }
}

#if defined(FUZZ_STATE_BYTES)
// Processor state, as a state file or a host hands it over.
void fuzzOne (const char* bytes, std::size_t size)
{
    JuceDemoPluginAudioProcessor processor;
    processor.setStateInformation (bytes, (int) size);
    checkProcessor (processor);
}
#elif defined(FUZZ_SETTINGS_FILE)
juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

bool sameInOrder (const juce::StringPairArray& a, const juce::StringPairArray& b)
{
    return a.getAllKeys() == b.getAllKeys() && a.getAllValues() == b.getAllValues();
}

// The settings file, taken value by value as the application does before it opens it; then read by
// the framework's settings object, which must hold exactly the values taken; then a holder's start-up
// (device set-up, input muting, processor state) and shut-down, after the changes the program makes:
// the state saved, the window placed, a state file named (from the input's last bytes). The next
// start must take what the framework wrote, all of it, as it stands. With no audio server or sound
// card here, no device opens.
void fuzzOne (const char* bytes, std::size_t size)
{
    static const auto file = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                 .getNonexistentChildFile ("tarrowby-fuzz", ".settings", false);
    file.replaceWithData (bytes, size);
    const auto prepared = guards::SettingsFile::prepare (file);
    using Outcome = guards::SettingsFile::Preparation::Outcome;
    jassert (prepared.outcome != Outcome::leftInPlace && prepared.outcome != Outcome::notRewritten); // the folder is writable
    jassert (size == 0 || (prepared.outcome == Outcome::setAside) == ! file.exists());
    jassert ((prepared.outcome == Outcome::setAside || ! prepared.dropped.isEmpty()) == prepared.keptAside.exists());
    jassert (! prepared.keptAside.exists() || bytesOf (prepared.keptAside) == juce::MemoryBlock (bytes, size));
    prepared.keptAside.deleteFile();
    juce::StringPairArray held;

    {
        juce::PropertiesFile settings (file, juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
        jassert (sameInOrder (settings.getAllProperties(), prepared.values));

        {
            juce::StandalonePluginHolder holder (&settings, false, {}, nullptr, { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } }, false);
            checkProcessor (*holder.processor);
            holder.savePluginState();
        }

        settings.setValue ("windowX", std::numeric_limits<int>::min());

        juce::String name ("/");

        for (auto i = size - std::min (size, (std::size_t) 300); i < size; ++i)
            if (bytes[i] != 0)
                name += (juce::juce_wchar) ((juce::uint8) bytes[i] < 0x80 ? (juce::uint8) bytes[i] : (juce::uint8) bytes[i] * 257);

        if (guards::SettingsFile::canStore ("lastStateFile", name))
            settings.setValue ("lastStateFile", name);

        jassert (settings.save());
        held = settings.getAllProperties();
    }

    // Start, quit, start: what the framework wrote is taken whole, as it stands.
    const auto written = bytesOf (file);
    const auto again = guards::SettingsFile::prepare (file);
    jassert (again.outcome == Outcome::unchanged && again.dropped.isEmpty() && sameInOrder (again.values, held));
    jassert (bytesOf (file) == written);
    file.deleteFile();
}
#elif defined(FUZZ_XML_READER)
bool isSame (const guards::XmlNode& a, const guards::XmlNode& b)
{
    if (a.tag != b.tag || a.attributes != b.attributes || a.children.size() != b.children.size())
        return false;

    for (size_t i = 0; i < a.children.size(); ++i)
        if (! isSame (a.children[i], b.children[i]))
            return false;

    return true;
}

// What the reader keeps, written by the framework's writer, it reads again as it was (text dropped).
void fuzzOne (const char* bytes, std::size_t size)
{
    const guards::XmlRules rules { 1 << 20, 1000, 1000, 64, true };
    const auto root = guards::readXml (bytes, size, rules);

    if (! root.has_value() || guards::isIncompleteAnywhere (*root))
        return;

    juce::MemoryOutputStream written;
    guards::toElement (*root)->writeTo (written, {});
    const auto again = guards::readXml (static_cast<const char*> (written.getData()), written.getDataSize(), rules);
    jassert (again.has_value() && ! again->hasText && ! guards::isIncompleteAnywhere (*again) && isSame (*root, *again));
}
#endif
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // A server name that nothing runs under, and never an automatic start.
    setenv ("JACK_DEFAULT_SERVER", ("tarrowby-fuzz-none-" + juce::String (juce::Random::getSystemRandom().nextInt64())).toRawUTF8(), 1);
    setenv ("JACK_NO_START_SERVER", "1", 1);
    framework = new juce::ScopedJuceInitialiser_GUI();
    juce::Logger::setCurrentLogger (&logger);

    // The framework's lasting objects come into being before the exit handler, so they go before the leak checks.
    JuceDemoPluginAudioProcessor warmUp;
    checkProcessor (warmUp);

    std::atexit ([] {
        juce::Logger::setCurrentLogger (nullptr);
        delete framework;
        juce::DeletedAtShutdown::deleteAll();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    fuzzOne (reinterpret_cast<const char*> (data), size);

    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {}

    return 0;
}
