#pragma once

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

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
    juce::ignoreUnused (applied);
    jassert (applied);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
}

inline void setNormalised (Processor& processor, juce::StringRef id, float value)
{
    processor.parameters.getParameter (id)->setValueNotifyingHost (value);
}

inline float getNormalised (const Processor& processor, juce::StringRef id)
{
    return processor.parameters.getParameter (id)->getValue();
}

/** Every switch flag off: no mutes, no solos, no bass management, no bypass. */
inline void clearSwitches (Processor& processor)
{
    for (int c = 0; c < Processor::numChannels; ++c)
    {
        processor.channelMute[(size_t) c] = false;
        processor.channelSolo[(size_t) c] = false;
        processor.channelBassManaged[(size_t) c] = false;
    }

    processor.mutesBypassed = false;
    processor.solosBypassed = false;
    processor.bassManagementBypassed = false;
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
