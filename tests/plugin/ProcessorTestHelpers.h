#pragma once

#include "PluginEditor.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tarrowby::test
{
using Processor = JuceDemoPluginAudioProcessor;
using Editor = Processor::JuceDemoPluginAudioProcessorEditor;

/** Gives the processor numIns inputs and numOuts outputs on its main buses (0 inputs disables the input bus). */
inline void configure (Processor& processor, int numIns = 16, int numOuts = 16, double sampleRate = 48000.0, int blockSize = 512)
{
    const auto applied = processor.setBusesLayout ({ { juce::AudioChannelSet::discreteChannels (numIns) },
                                                     { juce::AudioChannelSet::discreteChannels (numOuts) } });
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

inline std::string envelope (const std::string& text) { return envelope (text, (juce::uint32) text.size()); }

inline std::string stateOf (Processor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return { static_cast<const char*> (block.getData()), block.getSize() };
}

/** Hands the bytes over in a heap block of exactly their size, so that the sanitizer sees any read past them. */
inline void load (Processor& processor, const std::string& bytes)
{
    const auto exact = std::make_unique<char[]> (bytes.size());
    std::memcpy (exact.get(), bytes.data(), bytes.size());
    processor.setStateInformation (exact.get(), (int) bytes.size());
}

inline void setNormalised (Processor& p, juce::StringRef id, float value) { p.parameters.getParameter (id)->setValueNotifyingHost (value); }
inline float getNormalised (const Processor& p, juce::StringRef id) { return p.parameters.getParameter (id)->getValue(); }

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

/** Sets the process's plug-in wrapper type for a scope and puts the old one back. */
struct ScopedWrapperType
{
    explicit ScopedWrapperType (juce::AudioProcessor::WrapperType type = juce::AudioProcessor::wrapperType_Standalone)
    {
        std::swap (juce::PluginHostType::jucePlugInClientCurrentWrapperType, type);
        previous = type;
    }

    ~ScopedWrapperType() { juce::PluginHostType::jucePlugInClientCurrentWrapperType = previous; }

    juce::AudioProcessor::WrapperType previous;
};

/** The component's children of the given type, in the order they were added. */
template <typename Type>
std::vector<Type*> childrenOf (juce::Component& parent)
{
    std::vector<Type*> result;

    for (auto* child : parent.getChildren())
        if (auto* typed = dynamic_cast<Type*> (child))
            result.push_back (typed);

    return result;
}
} // namespace tarrowby::test
