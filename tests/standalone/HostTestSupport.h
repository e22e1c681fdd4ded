#pragma once

#include "MainWindow.h"
#include "PluginProcessor.h"
#include "StandaloneFilterApp.h"
#include "TestSupport.h"

#include <map>
#include <memory>
#include <vector>

namespace tarrowby::test
{
/** The real processor, but playing (channel + 1) / 64 on each output, noting the loudest input and the
    longest block, and with state bytes of the test's choosing. */
struct ProbeProcessor : JuceDemoPluginAudioProcessor
{
    static float outputLevel (int channel) noexcept { return (float) (channel + 1) / 64.0f; }

    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        for (int c = 0; c < buffer.getNumChannels(); ++c)
        {
            if (c < getTotalNumInputChannels())
                inputPeak = juce::jmax (inputPeak.load(), buffer.getMagnitude (c, 0, buffer.getNumSamples()));

            juce::FloatVectorOperations::fill (buffer.getWritePointer (c), outputLevel (c), buffer.getNumSamples());
        }

        largestBlock = juce::jmax (largestBlock.load(), buffer.getNumSamples());
    }

    using JuceDemoPluginAudioProcessor::processBlock;
    void getStateInformation (juce::MemoryBlock& destData) override { destData = stateToWrite; }
    void setStateInformation (const void* data, int size) override
    {
        lastStateRead.replaceAll (data, (size_t) size);
        ++numStateReads;
    }

    std::atomic<float> inputPeak { 0.0f };
    std::atomic<int> largestBlock { 0 };
    juce::MemoryBlock stateToWrite, lastStateRead;
    int numStateReads = 0;
};

struct FakeDevice : juce::AudioIODevice
{
    FakeDevice (int numInsToUse, int numOutsToUse, int bufferSizeToUse, double rate = 48000.0)
        : juce::AudioIODevice ("Fake", "Fake"), numIns (numInsToUse), numOuts (numOutsToUse), bufferSize (bufferSizeToUse), sampleRate (rate)
    {
        ins.setRange (0, numIns, true);
        outs.setRange (0, numOuts, true);
    }

    static juce::StringArray names (int n)
    {
        juce::StringArray a;
        for (int i = 1; i <= n; ++i)
            a.add (juce::String (i));
        return a;
    }
    juce::StringArray getOutputChannelNames() override { return names (numOuts); }
    juce::StringArray getInputChannelNames() override { return names (numIns); }
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

    juce::BigInteger ins, outs;
    int numIns, numOuts, bufferSize;
    double sampleRate;
};

/** Device memory for blocks of up to maxSamples, every input at one value, and exactly as many
    channel pointers as a block carries, so that reading past them is caught. */
struct DeviceBlock
{
    DeviceBlock (int numIns, int numOuts, int maxSamples, float inputValue = 0.5f)
        : inputs (juce::jmax (1, numIns), maxSamples), outputs (juce::jmax (1, numOuts), maxSamples),
          inputPointers (inputs.getArrayOfReadPointers(), inputs.getArrayOfReadPointers() + numIns),
          outputPointers (outputs.getArrayOfWritePointers(), outputs.getArrayOfWritePointers() + numOuts)
    {
        for (int c = 0; c < inputs.getNumChannels(); ++c)
            juce::FloatVectorOperations::fill (inputs.getWritePointer (c), inputValue, maxSamples);

        outputs.clear();
    }

    void run (juce::AudioIODeviceCallback& callback, int numSamples)
    {
        callback.audioDeviceIOCallbackWithContext (inputPointers.data(), (int) inputPointers.size(), outputPointers.data(),
                                                   (int) outputPointers.size(), numSamples, {});
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
    std::unique_ptr<juce::PropertiesFile> settings = std::make_unique<juce::PropertiesFile> (folder.getChildFile ("Tarrowby.settings"),
                                                                                             juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
};

/** The holder as the main window builds it: one configuration of 16 inputs and 16 outputs. */
inline std::unique_ptr<juce::StandalonePluginHolder> makeHolder (juce::PropertySet* settings)
{
    return std::make_unique<juce::StandalonePluginHolder> (settings, false, juce::String(), nullptr,
                                                           juce::Array<juce::StandalonePluginHolder::PluginInOuts> { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } }, false);
}

/** Puts a new processor of the given type in place of the holder's, the way a reset does. */
template <typename ProcessorType = ProbeProcessor>
ProcessorType& installProbe (juce::StandalonePluginHolder& holder)
{
    holder.stopPlayback();
    auto* probe = new ProcessorType();
    holder.processor.reset (probe);
    holder.startPlayback();
    return *probe;
}

template <typename ComponentType>
juce::Array<ComponentType*> findChildren (juce::Component& parent)
{
    juce::Array<ComponentType*> found;

    for (auto* child : parent.getChildren())
    {
        if (auto* c = dynamic_cast<ComponentType*> (child))
            found.add (c);

        found.addArray (findChildren<ComponentType> (*child));
    }

    return found;
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

/** A main window as the application builds it (16 inputs, 16 outputs) on settings of its own. */
struct TestWindow
{
    explicit TestWindow (const std::map<juce::String, juce::var>& initialSettings = {})
    {
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Standalone;

        for (const auto& [key, value] : initialSettings)
            settings.get().setValue (key, value);

        window = std::make_unique<juce::StandaloneFilterWindow> ("Tarrowby", juce::Colours::darkgrey, &settings.get(), false, juce::String(), nullptr,
                                                                 juce::Array<juce::StandalonePluginHolder::PluginInOuts> { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } });
    }

    ~TestWindow() { closeModalWindows(); }
    auto* getContent() const { return dynamic_cast<juce::StandaloneFilterWindow::MainContentComponent*> (window->getContentComponent()); }
    auto& getHolder() const { return *window->getPluginHolder(); }

    TempSettings settings;
    std::unique_ptr<juce::StandaloneFilterWindow> window;
};

inline juce::MemoryBlock makeBytes (size_t size)
{
    juce::MemoryBlock block (size);

    for (size_t i = 0; i < size; ++i)
        block[i] = (char) (i & 0xff);

    return block;
}
} // namespace tarrowby::test
