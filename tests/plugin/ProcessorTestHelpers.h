#pragma once

#include "PluginProcessor.h"

#include <cstring>
#include <string>

namespace tarrowby::test
{
using Processor = JuceDemoPluginAudioProcessor;

/** Gives the processor numIns inputs and numOuts outputs on its main buses (0 inputs disables the input bus). */
inline void configure (Processor& processor, int numIns = 16, int numOuts = 16, double sampleRate = 48000.0, int blockSize = 512)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numIns));
    layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (numOuts));
    const auto applied = processor.setBusesLayout (layout);
    jassert (applied);
    juce::ignoreUnused (applied);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
}

/** State bytes: "VC2!", the stored length (little-endian), the text and optionally the closing zero byte. */
inline std::string envelope (const std::string& text, juce::uint32 storedLength, bool closingZero = true)
{
    std::string bytes = "VC2!";

    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back ((char) ((storedLength >> shift) & 0xff));

    return bytes + text + (closingZero ? std::string (1, '\0') : std::string());
}

inline std::string envelope (const std::string& text)     { return envelope (text, (juce::uint32) text.size()); }

inline std::string stateOf (Processor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block.isEmpty() ? std::string() : std::string (static_cast<const char*> (block.getData()), block.getSize());
}

inline void load (Processor& processor, const std::string& bytes)  { processor.setStateInformation (bytes.data(), (int) bytes.size()); }

inline void setNormalised (Processor& p, juce::StringRef id, float value)  { p.parameters.getParameter (id)->setValueNotifyingHost (value); }
inline float getNormalised (const Processor& p, juce::StringRef id)        { return p.parameters.getParameter (id)->getValue(); }

/** Every switch flag off: no mutes, solos, bass management or bypass. */
inline void clearSwitches (Processor& processor)
{
    for (size_t c = 0; c < Processor::numChannels; ++c)
        processor.channelMute[c] = processor.channelSolo[c] = processor.channelBassManaged[c] = false;

    processor.mutesBypassed = processor.solosBypassed = processor.bassManagementBypassed = false;
}

/** Deterministic noise in [-amplitude, amplitude). */
inline juce::AudioBuffer<float> makeNoise (int numChannels, int numSamples, float amplitude = 0.5f, juce::int64 seed = 1)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    juce::Random random (seed);

    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, amplitude * (2.0f * random.nextFloat() - 1.0f));

    return buffer;
}

inline void process (Processor& processor, juce::AudioBuffer<float>& buffer)
{
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
}

/** True when both buffers have the same shape and bit-identical samples. */
inline bool identical (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;

    for (int c = 0; c < a.getNumChannels(); ++c)
        if (std::memcmp (a.getReadPointer (c), b.getReadPointer (c), sizeof (float) * (size_t) a.getNumSamples()) != 0)
            return false;

    return true;
}
} // namespace tarrowby::test
