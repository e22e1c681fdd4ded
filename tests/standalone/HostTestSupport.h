#pragma once

#include "MainWindow.h"
#include "PluginProcessor.h"
#include "StandaloneFilterApp.h"
#include "TestSupport.h"

#include <memory>
#include <vector>

namespace tarrowby::test
{
/** A device of the given shape, always open and playing. */
struct FakeDevice : juce::AudioIODevice
{
    FakeDevice (int numInsToUse, int numOutsToUse, int bufferSizeToUse, double rate = 48000.0)
        : juce::AudioIODevice ("Fake", "Fake"), numIns (numInsToUse), numOuts (numOutsToUse), bufferSize (bufferSizeToUse), sampleRate (rate) {}

    juce::StringArray getOutputChannelNames() override { return { names.data(), numOuts }; }
    juce::StringArray getInputChannelNames() override { return { names.data(), numIns }; }
    juce::Array<double> getAvailableSampleRates() override { return { sampleRate }; }
    juce::Array<int> getAvailableBufferSizes() override { return { bufferSize }; }
    int getDefaultBufferSize() override { return bufferSize; }
    juce::String open (const juce::BigInteger& i, const juce::BigInteger& o, double, int) override { return (ins = i, outs = o, juce::String()); }
    void close() override {}
    bool isOpen() override { return true; }
    void start (juce::AudioIODeviceCallback*) override {}
    void stop() override {}
    bool isPlaying() override { return true; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return bufferSize; }
    double getCurrentSampleRate() override { return sampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return outs; }
    juce::BigInteger getActiveInputChannels() const override { return ins; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return 0; }

    int numIns, numOuts, bufferSize;
    double sampleRate;
    juce::BigInteger ins { (1 << numIns) - 1 }, outs { (1 << numOuts) - 1 };
    std::vector<juce::String> names = std::vector<juce::String> (16, "Channel");
};

/** Device memory for blocks of up to maxSamples, silent, and exactly as many channel pointers as a block
    carries, so that reading past them is caught. */
struct DeviceBlock
{
    DeviceBlock (int numIns, int numOuts, int maxSamples)
        : inputs (juce::jmax (1, numIns), maxSamples), outputs (juce::jmax (1, numOuts), maxSamples),
          inputPointers (inputs.getArrayOfReadPointers(), inputs.getArrayOfReadPointers() + numIns),
          outputPointers (outputs.getArrayOfWritePointers(), outputs.getArrayOfWritePointers() + numOuts)
    {
        inputs.clear();
        outputs.clear();
    }

    void run (juce::AudioIODeviceCallback& callback, int numSamples)
    {
        callback.audioDeviceIOCallbackWithContext (inputPointers.data(), (int) inputPointers.size(), outputPointers.data(), (int) outputPointers.size(), numSamples, {});
    }

    juce::AudioBuffer<float> inputs, outputs;
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
};

struct TempSettings
{
    TempSettings() { folder.createDirectory(); }
    ~TempSettings() { settings.reset(), folder.deleteRecursively(); }
    juce::PropertiesFile& get() noexcept { return *settings; }

    juce::File folder { juce::File::createTempFile ("tarrowby-host-test") };
    std::unique_ptr<juce::PropertiesFile> settings = std::make_unique<juce::PropertiesFile> (folder.getChildFile ("Tarrowby.settings"), juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
};

/** The holder as the main window builds it: one configuration of 16 inputs and 16 outputs. */
inline std::unique_ptr<juce::StandalonePluginHolder> makeHolder (juce::PropertySet* settings)
{
    return std::make_unique<juce::StandalonePluginHolder> (settings, false, juce::String(), nullptr, juce::Array<juce::StandalonePluginHolder::PluginInOuts> { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } }, false);
}

template <typename ComponentType>
ComponentType* findOnDesktop (const juce::String& name = {})
{
    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        if (auto* c = dynamic_cast<ComponentType*> (juce::Desktop::getInstance().getComponent (i)); c != nullptr && (name.isEmpty() || c->getName() == name))
            return c;

    return nullptr;
}

inline void closeModalWindows()
{
    juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
    pumpMessages (50);
}
} // namespace tarrowby::test
