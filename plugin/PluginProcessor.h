#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

/**
    The loudspeaker controller's signal path: bass management at one common
    crossover, master level with Dim and Cut, per-channel mutes and solos, and
    per-channel peak metering over 16 channels.

    Threads: processBlock runs on the audio thread; everything else runs on the
    message thread. The fields shared between the two are relaxed atomics, so the
    audio thread never waits for the message thread and never races it.
*/
class JuceDemoPluginAudioProcessor : public juce::AudioProcessor,
                                     public juce::Timer
{
public:
    class JuceDemoPluginAudioProcessorEditor;

    static constexpr int numChannels = 16;
    static constexpr int bassTargetChannel = 3;
    static constexpr int numCrossoverFilters = numChannels + 1;
    static constexpr int lowPassFilterIndex = numChannels;
    static constexpr int pollIntervalMs = 200;

    /** The editor size that a new state holds, and that the editor takes for a stored dimension it can't use. */
    static constexpr int defaultEditorWidth = 472;
    static constexpr int defaultEditorHeight = 310;

    /** Bass-sum scratch length of a processor that was never prepared, and the most that prepareToPlay reserves.
        Longer blocks are processed in pieces of the scratch length. */
    static constexpr int defaultScratchSize = 4096;
    static constexpr int maximumScratchSize = 65536;

    /** Message thread. Builds the parameters and the tree, the 17 inactive filters, and starts the poll. */
    JuceDemoPluginAudioProcessor();
    ~JuceDemoPluginAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;

    /** Message thread, never during a block. Sets the filters for the rate and sizes the bass-sum scratch. */
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;

    /** Audio thread. Never allocates, locks (beyond each filter's own spin lock) or calls the system. */
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    void processBlock (juce::AudioBuffer<double>&, juce::MidiBuffer&) override;
    bool supportsDoublePrecisionProcessing() const override;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    void reset() override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int) override;
    const juce::String getProgramName (int) override;
    void changeProgramName (int, const juce::String&) override;

    /** Message thread. Writes the "VC2!" state bytes. */
    void getStateInformation (juce::MemoryBlock& destData) override;
    /** Message thread. Reads state bytes; anything invalid is ignored and changes nothing. */
    void setStateInformation (const void* data, int sizeInBytes) override;

    enum class StateReading
    {
        ignored, ///< not state bytes that are read
        taken, ///< read, and written back they are read again
        tooLarge ///< read, but written back they would pass a bound they are read with
    };

    /** Message thread. What setStateInformation does, with its answer: it takes the bytes only
        when it reads them, and reads again what it writes once it has taken them. */
    virtual StateReading takeState (const void* data, int sizeInBytes);

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    /** Message thread. Recomputes the 17 crossover filters from "balance" for the given sample rate.
        A rate that is not finite or not above twice the crossover frequency leaves the filters
        as they are. */
    void updateFilterCoeffs (double sampleRate);

    //==============================================================================
    /** The four parameters and the tree that saves them, with its uiState child. */
    juce::AudioProcessorValueTreeState parameters;

    /** Largest absolute output sample per channel since the editor last read it. */
    std::array<std::atomic<float>, numChannels> peakLevels;

    /** The 51 switch flags, copied from the editor's matrix by the poll. */
    std::array<std::atomic<bool>, numChannels> channelMute;
    std::array<std::atomic<bool>, numChannels> channelSolo;
    std::array<std::atomic<bool>, numChannels> channelBassManaged;
    std::atomic<bool> mutesBypassed;
    std::atomic<bool> solosBypassed;
    std::atomic<bool> bassManagementBypassed;

    /** [0..15] high-pass of each channel, [16] low-pass of the bass sum. */
    std::array<std::unique_ptr<juce::IIRFilter>, numCrossoverFilters> crossoverFilters;

    /** Lamp flags, written by every block. */
    std::atomic<bool> bassSignalPresent { false };
    std::atomic<bool> channelPairsDiffer { false };

    /** Message thread, every 200 ms: copies the editor's switches and handles one changed parameter. */
    void timerCallback() override;

private:
    /** The normalised "gain" and "balance" values that the poll last saw. */
    float lastGainValue = 0.8f;
    float lastCrossoverValue = 0.5f;

    float getNormalisedValue (juce::StringRef parameterId) const noexcept;

    /** Reads state bytes into a tree that holds a node for each parameter. */
    StateReading readState (const void* data, int sizeInBytes, juce::ValueTree& tree);

    bool compareChannelPairs (const juce::AudioBuffer<float>&) const noexcept;
    bool manageBass (juce::AudioBuffer<float>&) noexcept;
    void raisePeakLevels (const juce::AudioBuffer<float>&) noexcept;

    /** Scratch memory for the bass sum; sized on the message thread, used by the audio thread. */
    std::vector<float> bassSum;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDemoPluginAudioProcessor)
};
