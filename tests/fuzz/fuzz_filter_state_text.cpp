// Arbitrary text as the "filterState" setting: decoded as the holder does at
// start-up, then handed to the processor.
#include "FuzzSupport.h"
#include "StandalonePluginHolder.h"

void tarrowby::fuzz::fuzzOne (const std::uint8_t* data, std::size_t size)
{
    // A setting's text comes out of the settings file as a string: valid UTF-8.
    const auto* bytes = reinterpret_cast<const char*> (data);

    if (size == 0 || ! juce::CharPointer_UTF8::isValidString (bytes, (int) size))
        return;

    const auto text = juce::String::fromUTF8 (bytes, (int) size);
    juce::MemoryBlock decoded, framework;
    const auto accepted = juce::StandalonePluginHolder::decodeStateText (text, decoded);
    require (! accepted || (framework.fromBase64Encoding (text) && framework == decoded),
             "accepted text decodes as the framework decodes it");

    JuceDemoPluginAudioProcessor processor;

    if (accepted && decoded.getSize() > 0)
        processor.setStateInformation (decoded.getData(), (int) decoded.getSize());

    checkProcessor (processor);
}
