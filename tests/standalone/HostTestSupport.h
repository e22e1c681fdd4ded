#pragma once

#include "StandalonePluginHolder.h"
#include "TestSupport.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

namespace tarrowby::test
{
/**
    A processor that shows what reaches it: the peak of each input channel, the
    number of blocks and channels and the largest block. It plays a fixed level
    per output channel, (channel + 1) / 64, and its state bytes are whatever the test sets.
*/
class ProbeProcessor : public juce::AudioProcessor
{
public:
    ProbeProcessor();

    static float outputLevel (int channel) noexcept     { return (float) (channel + 1) / 64.0f; }
    float getInputPeak (int channel) const noexcept     { return inputPeaks[(size_t) channel]; }
    void resetPeaks() noexcept                          { for (auto& p : inputPeaks) p = 0.0f; }

    std::array<std::atomic<float>, 16> inputPeaks;
    std::atomic<int> numBlocks { 0 }, largestBlock { 0 }, numChannelsSeen { 0 };

    juce::MemoryBlock stateToWrite, lastStateRead;
    int numStateReads = 0;

    const juce::String getName() const override                     { return "Probe"; }
    void prepareToPlay (double, int) override                       {}
    void releaseResources() override                                {}
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    double getTailLengthSeconds() const override                    { return 0.0; }
    bool acceptsMidi() const override                               { return true; }
    bool producesMidi() const override                              { return false; }
    juce::AudioProcessorEditor* createEditor() override             { return nullptr; }
    bool hasEditor() const override                                 { return false; }
    int getNumPrograms() override                                   { return 1; }
    int getCurrentProgram() override                                { return 0; }
    void setCurrentProgram (int) override                           {}
    const juce::String getProgramName (int) override                { return {}; }
    void changeProgramName (int, const juce::String&) override      {}
    void getStateInformation (juce::MemoryBlock& destData) override { destData = stateToWrite; }
    void setStateInformation (const void* data, int size) override  { lastStateRead.replaceAll (data, (size_t) size); ++numStateReads; }
};

/** A device that only reports a set-up; nothing calls it back. */
class FakeDevice : public juce::AudioIODevice
{
public:
    FakeDevice (int numIns, int numOuts, int bufferSize, double rate = 48000.0);

    juce::StringArray getOutputChannelNames() override          { return {}; }
    juce::StringArray getInputChannelNames() override           { return {}; }
    juce::Array<double> getAvailableSampleRates() override      { return { sampleRate }; }
    juce::Array<int> getAvailableBufferSizes() override         { return { bufferSize }; }
    int getDefaultBufferSize() override                         { return bufferSize; }
    juce::String open (const juce::BigInteger&, const juce::BigInteger&, double, int) override { return {}; }
    void close() override                                       {}
    bool isOpen() override                                      { return true; }
    void start (juce::AudioIODeviceCallback*) override          {}
    void stop() override                                        {}
    bool isPlaying() override                                   { return true; }
    juce::String getLastError() override                        { return {}; }
    int getCurrentBufferSizeSamples() override                  { return bufferSize; }
    double getCurrentSampleRate() override                      { return sampleRate; }
    int getCurrentBitDepth() override                           { return 32; }
    juce::BigInteger getActiveOutputChannels() const override   { return outs; }
    juce::BigInteger getActiveInputChannels() const override    { return ins; }
    int getOutputLatencyInSamples() override                    { return 0; }
    int getInputLatencyInSamples() override                     { return 0; }

    juce::BigInteger ins, outs;
    int bufferSize;
    double sampleRate;
};

/** Remembers the calls it receives (up to 64, each with up to 20 channel pointers), without allocating. */
class RecordingCallback : public juce::AudioIODeviceCallback
{
public:
    struct Call
    {
        int numIns = 0, numOuts = 0, numSamples = 0;
        std::array<const float*, 20> ins {};
        std::array<float*, 20> outs {};
    };

    void audioDeviceIOCallbackWithContext (const float* const* ins, int numIns, float* const* outs, int numOuts,
                                           int numSamples, const juce::AudioIODeviceCallbackContext&) override;
    void audioDeviceAboutToStart (juce::AudioIODevice*) override    { ++numStarts; }
    void audioDeviceStopped() override                              { ++numStops; }

    std::array<Call, 64> calls {};
    int numCalls = 0, numStarts = 0, numStops = 0;
};

/** A settings file in a folder of its own, deleted afterwards. */
class TempSettings
{
public:
    TempSettings();
    ~TempSettings()                         { settings.reset(); folder.deleteRecursively(); }

    juce::PropertiesFile& get() noexcept    { return *settings; }
    juce::File getFolder() const            { return folder; }

private:
    juce::File folder;
    std::unique_ptr<juce::PropertiesFile> settings;
};

/** The holder as the main window builds it: one configuration of 16 inputs and 16 outputs. */
std::unique_ptr<juce::StandalonePluginHolder> makeHolder (juce::PropertySet* settings);

/** Puts a new processor of the given type in place of the holder's, the way a reset does. */
template <typename ProcessorType = ProbeProcessor>
ProcessorType& installProbe (juce::StandalonePluginHolder& holder)
{
    holder.stopPlayback();
    auto probe = std::make_unique<ProcessorType>();
    auto& ref = *probe;
    holder.processor = std::move (probe);
    holder.startPlayback();
    return ref;
}

/** Device memory for blocks of up to maxSamples, every input filled with one value, and exactly as
    many channel pointers as a block carries, so that reading past them is caught. */
struct DeviceBlock
{
    DeviceBlock (int numIns, int numOuts, int maxSamples, float inputValue = 0.5f);

    /** Plays numSamples through the callback, as a device does. */
    void run (juce::AudioIODeviceCallback& callback, int numSamples);

    juce::AudioBuffer<float> inputs, outputs;
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
};

/** A holder whose own device is closed and whose processor is a probe of the given type, driven by
    hand through its size enforcer. */
template <typename ProcessorType = ProbeProcessor>
struct DrivenHolder
{
    DrivenHolder()
    {
        holder->deviceManager.closeAudioDevice();
        processor = &installProbe<ProcessorType> (*holder);
    }

    void start (juce::AudioIODevice& device)        { holder->sizeEnforcer.audioDeviceAboutToStart (&device); }
    void stop()                                     { holder->sizeEnforcer.audioDeviceStopped(); }
    void run (DeviceBlock& block, int numSamples)   { block.run (holder->sizeEnforcer, numSamples); }

    /** Sets the input muting as the settings do; true once the audio side has it. */
    bool setMuted (bool muted)
    {
        holder->shouldMuteInput = muted;
        return pumpMessagesUntil ([&] { return holder->muteInput.load() == muted; }, 2000);
    }

    TempSettings settings;
    std::unique_ptr<juce::StandalonePluginHolder> holder { makeHolder (&settings.get()) };
    ProcessorType* processor = nullptr;
};

/** The first top-level window of the given type whose name matches, or null. */
template <typename ComponentType>
ComponentType* findOnDesktop (const juce::String& name = {})
{
    auto& desktop = juce::Desktop::getInstance();

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* c = dynamic_cast<ComponentType*> (desktop.getComponent (i)))
            if (name.isEmpty() || c->getName() == name)
                return c;

    return nullptr;
}

/** Every descendant of the given type, depth first. */
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

/** The first descendant of the given type for which the predicate holds, or null. */
template <typename ComponentType, typename Predicate>
ComponentType* findChild (juce::Component& parent, Predicate&& predicate)
{
    for (auto* c : findChildren<ComponentType> (parent))
        if (predicate (*c))
            return c;

    return nullptr;
}

/** Dismisses every modal window and lets the framework delete them. */
void closeModalWindows();

/** Fills a block with bytes 0, 1, 2, ... */
juce::MemoryBlock makeBytes (size_t size);
} // namespace tarrowby::test
