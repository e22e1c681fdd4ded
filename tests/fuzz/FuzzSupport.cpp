#include "FuzzSupport.h"
#include "ProcessorTestHelpers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace juce
{
// The framework's own step of its message loop: delivers one pending message, if any.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace tarrowby::fuzz
{
namespace
{
/**
    Turns framework assertions into an abort that the fuzzer reports, except those
    the framework raises about hostile text that it then handles safely:
    - the XML parser accepts element and attribute names that start with a
      character XML does not allow there (a digit, say), and the element it builds
      asserts that its name is valid; the name is kept as read and written back
      the same way, so nothing is lost;
    - the settings file's reader matches its root tag without regard to case and
      asserts when the case differs ("<Properties>"), then reads the file as usual.
*/
class AbortingLogger final : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        std::fprintf (stderr, "%s\n", message.toRawUTF8());

        if (! message.startsWith ("JUCE Assertion failure"))
            return;

        // The isValidXmlName checks of the attribute and element constructors, and hasTagName's case check.
        for (const auto line : { 66, 72, 79, 85, 91, 97, 103, 476 })
            if (message.endsWith ("juce_XmlElement.cpp:" + juce::String (line)))
                return;

        std::abort();
    }
};

/** libjack prints every failed attempt to reach a server; there is none here on purpose. */
void silenceJack()
{
    using SetFunction = void (*) (void (*) (const char*));

    if (auto* jack = dlopen ("libjack.so.0", RTLD_LAZY | RTLD_GLOBAL))
        for (const auto* name : { "jack_set_error_function", "jack_set_info_function" })
            if (auto set = reinterpret_cast<SetFunction> (dlsym (jack, name)))
                set ([] (const char*) {});
}

juce::ScopedJuceInitialiser_GUI* framework = nullptr;
AbortingLogger* logger = nullptr;

void shutdown()
{
    juce::Logger::setCurrentLogger (nullptr);
    delete logger;
    delete framework;
    juce::DeletedAtShutdown::deleteAll();
}
} // namespace

void require (bool condition, const char* what)
{
    if (! condition)
    {
        std::fprintf (stderr, "Requirement failed: %s\n", what);
        std::abort();
    }
}

void checkProcessor (JuceDemoPluginAudioProcessor& processor)
{
    for (auto* parameter : processor.getParameters())
    {
        const auto v = parameter->getValue();
        require (std::isfinite (v) && v >= 0.0f && v <= 1.0f, "parameter finite and within 0..1");
    }

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    const auto size = saved.getSize();
    const auto* bytes = static_cast<const char*> (saved.getData());

    require (size >= 9, "state holds a header and a closing zero");
    require (std::memcmp (bytes, "VC2!", 4) == 0, "state starts with the magic");
    require (juce::ByteOrder::littleEndianInt (bytes + 4) == (juce::uint32) (size - 9), "stored length counts the text");
    require (bytes[size - 1] == 0 && std::memchr (bytes + 8, 0, size - 9) == nullptr, "one zero byte, at the end");

    {
        JuceDemoPluginAudioProcessor reader;
        reader.setStateInformation (saved.getData(), (int) saved.getSize());

        juce::MemoryBlock again;
        reader.getStateInformation (again);

        if (again != saved)
            std::fprintf (stderr, "saved:\n%s\nread back and saved again:\n%s\n", bytes + 8, static_cast<const char*> (again.getData()) + 8);

        require (again == saved, "saved state reads back into the same bytes");
    }

    test::configure (processor, 16, 16, 48000.0, 64);
    processor.prepareToPlay (48000.0, 64);

    auto buffer = test::makeNoise (16, 64, 1.0f);
    test::process (processor, buffer);

    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            require (std::isfinite (buffer.getSample (c, i)), "finite input gives finite output");
}
} // namespace tarrowby::fuzz

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    using namespace tarrowby::fuzz;

    // A server name that nothing runs under, and never an automatic start.
    const auto server = "tarrowby-fuzz-none-" + juce::String (juce::Random::getSystemRandom().nextInt64());
    setenv ("JACK_DEFAULT_SERVER", server.toRawUTF8(), 1);
    setenv ("JACK_NO_START_SERVER", "1", 1);
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);
    silenceJack();

    framework = new juce::ScopedJuceInitialiser_GUI();
    logger = new AbortingLogger();
    juce::Logger::setCurrentLogger (logger);

    // The framework's lasting objects (timer thread, device types' libraries) come
    // into being here, before the exit handler, so they are gone before their
    // leak counters check at exit.
    {
        JuceDemoPluginAudioProcessor warmUp;
        checkProcessor (warmUp);
    }

    std::atexit (shutdown);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    tarrowby::fuzz::fuzzOne (data, size);

    // Everything the input left on the queue, without waiting for more.
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}

    return 0;
}
