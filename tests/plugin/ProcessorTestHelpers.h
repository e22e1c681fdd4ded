#pragma once

#include "PluginEditor.h"
#include "TestSupport.h"
#include <string>
#include <utility>

namespace tarrowby::test
{
using Processor = JuceDemoPluginAudioProcessor;
using Editor = Processor::JuceDemoPluginAudioProcessorEditor;
/** Gives the processor numIns inputs and numOuts outputs on its main buses (0 inputs disables the input bus). */
inline void configure (Processor& processor, int numIns = 16, int numOuts = 16)
{
    [[maybe_unused]] const auto applied = processor.setBusesLayout ({ { juce::AudioChannelSet::discreteChannels (numIns) }, { juce::AudioChannelSet::discreteChannels (numOuts) } });
    jassert (applied);
    processor.setRateAndBufferSizeDetails (48000.0, 512);
}
inline void setNormalised (Processor& p, juce::StringRef id, float value) { p.parameters.getParameter (id)->setValueNotifyingHost (value); }
inline float getNormalised (const Processor& p, juce::StringRef id) { return p.parameters.getParameter (id)->getValue(); }
inline juce::AudioBuffer<float> processed (Processor& processor, juce::AudioBuffer<float> buffer)
{
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    return buffer;
}
/** Sets the process's plug-in wrapper type for a scope and puts the old one back. */
struct ScopedWrapperType
{
    explicit ScopedWrapperType (juce::AudioProcessor::WrapperType type = juce::AudioProcessor::wrapperType_Standalone)
        : previous (std::exchange (juce::PluginHostType::jucePlugInClientCurrentWrapperType, type)) {}
    ~ScopedWrapperType() { juce::PluginHostType::jucePlugInClientCurrentWrapperType = previous; }
    const juce::AudioProcessor::WrapperType previous;
};
} // namespace tarrowby::test
