#include "FuzzSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

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
    about hostile text that the framework then handles safely: element and attribute
    names that XML does not allow (kept and written back as read), and the settings
    reader's root tag in another case ("<Properties>"), which it reads as usual.
*/
class AbortingLogger final : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        std::fprintf (stderr, "%s\n", message.toRawUTF8());

        if (! message.startsWith ("JUCE Assertion failure"))
            return;

        for (const auto line : { 66, 72, 79, 85, 91, 97, 103, 476 })
            if (message.endsWith ("juce_XmlElement.cpp:" + juce::String (line)))
                return;

        std::abort();
    }
};

juce::ScopedJuceInitialiser_GUI* framework = nullptr;
AbortingLogger* logger = nullptr;
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
        require (parameter->getValue() >= 0.0f && parameter->getValue() <= 1.0f, "parameter within 0..1");

    juce::MemoryBlock saved, again;
    processor.getStateInformation (saved);

    {
        JuceDemoPluginAudioProcessor reader;
        reader.setStateInformation (saved.getData(), (int) saved.getSize());
        reader.getStateInformation (again);
    }

    if (again != saved)
        std::fprintf (stderr, "saved:\n%s\nread back and saved again:\n%s\n",
                      static_cast<const char*> (saved.getData()) + 8, static_cast<const char*> (again.getData()) + 8);

    require (again == saved, "saved state reads back into the same bytes");

    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (16));
    layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (16));
    require (processor.setBusesLayout (layout), "16 channels in and out");
    processor.prepareToPlay (48000.0, 64);

    juce::AudioBuffer<float> buffer (16, 64);
    juce::Random random (1);

    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < 64; ++i)
            buffer.setSample (c, i, 2.0f * random.nextFloat() - 1.0f);

    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);

    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < 64; ++i)
            require (std::isfinite (buffer.getSample (c, i)), "finite input gives finite output");
}
} // namespace tarrowby::fuzz

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    using namespace tarrowby::fuzz;

    // A server name that nothing runs under, and never an automatic start.
    setenv ("JACK_DEFAULT_SERVER", ("tarrowby-fuzz-none-" + juce::String (juce::Random::getSystemRandom().nextInt64())).toRawUTF8(), 1);
    setenv ("JACK_NO_START_SERVER", "1", 1);

    framework = new juce::ScopedJuceInitialiser_GUI();
    logger = new AbortingLogger();
    juce::Logger::setCurrentLogger (logger);

    // The framework's lasting objects (timer thread, device types' libraries) come into being
    // here, before the exit handler, so they are gone before their leak counters check at exit.
    {
        JuceDemoPluginAudioProcessor warmUp;
        checkProcessor (warmUp);
    }

    std::atexit ([] {
        juce::Logger::setCurrentLogger (nullptr);
        delete logger;
        delete framework;
        juce::DeletedAtShutdown::deleteAll();
    });

    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    tarrowby::fuzz::fuzzOne (data, size);

    // Everything the input left on the queue, without waiting for more.
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {}

    return 0;
}
