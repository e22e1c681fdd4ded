#include "HostTestSupport.h"

#include "TestSupport.h"

#include <cmath>

namespace tarrowby::test
{
ProbeProcessor::ProbeProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    resetPeaks();
}

void ProbeProcessor::resetPeaks() noexcept
{
    for (auto& p : inputPeaks)
        p = 0.0f;
}

void ProbeProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const auto numSamples = buffer.getNumSamples();
    const auto numIns = juce::jmin (getTotalNumInputChannels(), buffer.getNumChannels(), maxChannels);

    for (int c = 0; c < numIns; ++c)
    {
        const auto range = buffer.findMinMax (c, 0, numSamples);
        const auto peak = juce::jmax (std::abs (range.getStart()), std::abs (range.getEnd()));

        if (peak > inputPeaks[(size_t) c])
            inputPeaks[(size_t) c] = peak;
    }

    for (int c = 0; c < buffer.getNumChannels(); ++c)
        juce::FloatVectorOperations::fill (buffer.getWritePointer (c), outputLevel (c), numSamples);

    numChannelsSeen = buffer.getNumChannels();
    largestBlock = juce::jmax (largestBlock.load(), numSamples);
    ++numBlocks;
}

void ProbeProcessor::setStateInformation (const void* data, int size)
{
    lastStateRead.replaceAll (data, (size_t) size);
    ++numStateReads;
}

//==============================================================================
FakeDevice::FakeDevice (int numIns, int numOuts, int bufferSizeToUse, double rate)
    : juce::AudioIODevice ("Fake", "Fake"), bufferSize (bufferSizeToUse), sampleRate (rate)
{
    ins.setRange (0, numIns, true);
    outs.setRange (0, numOuts, true);
}

//==============================================================================
void RecordingCallback::audioDeviceIOCallbackWithContext (const float* const* ins, int numIns,
                                                          float* const* outs, int numOuts,
                                                          int numSamples, const juce::AudioIODeviceCallbackContext&)
{
    if (numCalls >= (int) calls.size())
        return;

    auto& call = calls[(size_t) numCalls++];
    call.numIns = numIns;
    call.numOuts = numOuts;
    call.numSamples = numSamples;

    for (int k = 0; k < juce::jmin (numIns, (int) call.ins.size()); ++k)
        call.ins[(size_t) k] = ins[k];

    for (int k = 0; k < juce::jmin (numOuts, (int) call.outs.size()); ++k)
        call.outs[(size_t) k] = outs[k];
}

//==============================================================================
namespace
{
juce::PropertiesFile::Options getSettingsOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Tarrowby";
    options.filenameSuffix = ".settings";
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.millisecondsBeforeSaving = 3000;
    return options;
}
} // namespace

TempSettings::TempSettings()
    : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                  .getNonexistentChildFile ("tarrowby-host-test", {}, false))
{
    folder.createDirectory();
    reopen();
}

TempSettings::~TempSettings()
{
    settings.reset();
    folder.deleteRecursively();
}

void TempSettings::reopen()
{
    settings.reset();
    settings = std::make_unique<juce::PropertiesFile> (folder.getChildFile ("Tarrowby.settings"), getSettingsOptions());
}

//==============================================================================
std::unique_ptr<juce::StandalonePluginHolder> makeHolder (juce::PropertySet* settings)
{
    juce::Array<juce::StandalonePluginHolder::PluginInOuts> configurations;
    configurations.add ({ 16, 16 });

    return std::make_unique<juce::StandalonePluginHolder> (settings, false, juce::String(), nullptr, configurations, false);
}

ProbeProcessor& installProbe (juce::StandalonePluginHolder& holder)
{
    holder.stopPlayback();
    auto probe = std::make_unique<ProbeProcessor>();
    auto& ref = *probe;
    holder.processor = std::move (probe);
    holder.startPlayback();
    return ref;
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
