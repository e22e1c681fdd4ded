// Arbitrary text as the "filterState" setting: decoded as the holder does at
// start-up, then handed to the processor.
#include "FuzzSupport.h"
#include "StandalonePluginHolder.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    tarrowby::fuzz::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    using tarrowby::fuzz::require;

    // A setting's text comes out of the settings file as a string: valid UTF-8.
    const auto* bytes = reinterpret_cast<const char*> (data);

    if (size == 0 || ! juce::CharPointer_UTF8::isValidString (bytes, (int) size))
        return 0;

    const auto text = juce::String::fromUTF8 (bytes, (int) size);

    {
        juce::MemoryBlock decoded;
        const auto accepted = juce::StandalonePluginHolder::decodeStateText (text, decoded);

        if (accepted)
        {
            // What is accepted decodes exactly as the framework would decode it.
            juce::MemoryBlock framework;
            require (framework.fromBase64Encoding (text) && framework == decoded, "accepted text decodes as the framework does");
        }

        JuceDemoPluginAudioProcessor processor;

        if (accepted && decoded.getSize() > 0)
            processor.setStateInformation (decoded.getData(), (int) decoded.getSize());

        tarrowby::fuzz::checkProcessor (processor);
    }

    tarrowby::fuzz::deliverMessages();
    return 0;
}
