#include "HostTestSupport.h"

#include "StandaloneFilterApp.h"

#include <unistd.h>

namespace tarrowby::test
{
ProbeProcessor::ProbeProcessor()
    : AudioProcessor (BusesProperties().withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                       .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    resetPeaks();
}

void ProbeProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const auto numSamples = buffer.getNumSamples();

    for (int c = 0; c < juce::jmin (getTotalNumInputChannels(), buffer.getNumChannels(), 16); ++c)
        inputPeaks[(size_t) c] = juce::jmax (inputPeaks[(size_t) c].load(), buffer.getMagnitude (c, 0, numSamples));

    for (int c = 0; c < buffer.getNumChannels(); ++c)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (c), outputLevel (c), numSamples);

    numChannelsSeen = buffer.getNumChannels();
    largestBlock = juce::jmax (largestBlock.load(), numSamples);
    ++numBlocks;
}

FakeDevice::FakeDevice (int numIns, int numOuts, int bufferSizeToUse, double rate)
    : juce::AudioIODevice ("Fake", "Fake"), bufferSize (bufferSizeToUse), sampleRate (rate)
{
    ins.setRange (0, numIns, true);
    outs.setRange (0, numOuts, true);
}

void RecordingCallback::audioDeviceIOCallbackWithContext (const float* const* ins, int numIns, float* const* outs, int numOuts,
                                                          int numSamples, const juce::AudioIODeviceCallbackContext&)
{
    if (numCalls >= (int) calls.size())
        return;

    auto& call = calls[(size_t) numCalls++];
    call = { numIns, numOuts, numSamples };
    std::copy (ins, ins + juce::jmin (numIns, 20), call.ins.begin());
    std::copy (outs, outs + juce::jmin (numOuts, 20), call.outs.begin());
}

TempSettings::TempSettings()
    // Named after the process too: test programs running side by side must not share a folder.
    : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                  .getNonexistentChildFile ("tarrowby-host-test-" + juce::String (getpid()) + "-"
                                                + juce::String (juce::Random::getSystemRandom().nextInt (1000000)), {}, false))
{
    folder.createDirectory();
    settings = std::make_unique<juce::PropertiesFile> (folder.getChildFile ("Tarrowby.settings"),
                                                       juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
}

std::unique_ptr<juce::StandalonePluginHolder> makeHolder (juce::PropertySet* settings)
{
    juce::Array<juce::StandalonePluginHolder::PluginInOuts> configurations;
    configurations.add ({ 16, 16 });
    return std::make_unique<juce::StandalonePluginHolder> (settings, false, juce::String(), nullptr, configurations, false);
}

DeviceBlock::DeviceBlock (int numIns, int numOuts, int maxSamples, float inputValue)
    : inputs (juce::jmax (1, numIns), maxSamples), outputs (juce::jmax (1, numOuts), maxSamples)
{
    for (int c = 0; c < inputs.getNumChannels(); ++c)
        juce::FloatVectorOperations::fill (inputs.getWritePointer (c), inputValue, maxSamples);

    outputs.clear();
    inputPointers.assign (inputs.getArrayOfReadPointers(), inputs.getArrayOfReadPointers() + numIns);
    outputPointers.assign (outputs.getArrayOfWritePointers(), outputs.getArrayOfWritePointers() + numOuts);
}

void DeviceBlock::run (juce::AudioIODeviceCallback& callback, int numSamples)
{
    callback.audioDeviceIOCallbackWithContext (inputPointers.data(), (int) inputPointers.size(),
                                               outputPointers.data(), (int) outputPointers.size(), numSamples, {});
}

void closeModalWindows()
{
    juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
    pumpMessages (50);
}

juce::MemoryBlock makeBytes (size_t size)
{
    juce::MemoryBlock block (size);

    for (size_t i = 0; i < size; ++i)
        block[i] = (char) (i & 0xff);

    return block;
}
} // namespace tarrowby::test
