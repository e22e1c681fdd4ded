#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace juce
{
/**
    Owns the audio side of the application: the one processor, the audio device
    manager, the processor player and the input-mute setting. Reads the device
    set-up, the mute setting and the processor state from the settings at start,
    and writes the device set-up and the mute setting back when it is destroyed.

    Threads: everything runs on the message thread except the block callbacks,
    which run on the audio device thread and never allocate, lock or log.
*/
class StandalonePluginHolder : private AudioIODeviceCallback,
                               private Timer,
                               private Value::Listener
{
public:
    /** One allowed channel configuration. Only the first one of the holder's list is used. */
    struct PluginInOuts
    {
        short numIns, numOuts;
    };

    /**
        The one audio callback registered with the device manager. It cuts each
        device block into chunks no longer than the buffer size noted when the
        device started and hands them, in place, to its target.

        Block callbacks run on the audio thread; start and stop notices on the
        thread that starts or stops the device (the message thread here).
    */
    class CallbackMaxSizeEnforcer : public AudioIODeviceCallback
    {
    public:
        explicit CallbackMaxSizeEnforcer (AudioIODeviceCallback& callbackToWrap);
        ~CallbackMaxSizeEnforcer() override;

        /** Audio thread. A block that arrives before any start is dropped with its outputs cleared. */
        void audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                               int numInputChannels,
                                               float* const* outputChannelData,
                                               int numOutputChannels,
                                               int numSamples,
                                               const AudioIODeviceCallbackContext& context) override;
        void audioDeviceAboutToStart (AudioIODevice* device) override;
        void audioDeviceStopped() override;

    private:
        AudioIODeviceCallback& target;
        int maxBlockSize = 0;
        std::vector<const float*> inputChunkPointers;
        std::vector<float*> outputChunkPointers;

        /** Stands in for channels that a block carries fewer of than the device reported:
            channel 0 is a silent input, channel 1 + k takes output k. */
        AudioBuffer<float> spareChannels;

        JUCE_DECLARE_NON_COPYABLE (CallbackMaxSizeEnforcer)
    };

    class SettingsComponent;

    /** Creates the processor, opens the audio device and starts playing. Message thread. */
    StandalonePluginHolder (PropertySet* settingsToUse,
                            bool takeOwnershipOfSettings,
                            const String& preferredDefaultDeviceName,
                            const AudioDeviceManager::AudioDeviceSetup* preferredSetupOptions,
                            const Array<PluginInOuts>& channels,
                            bool shouldAutoOpenMidiDevices);

    /** Deletes the processor, then writes "audioSetup" and "shouldMuteInput". */
    ~StandalonePluginHolder() override;

    /** Registers the callbacks, restores the settings, opens the device and starts playing. Called once, by the constructor. */
    void init (bool enableAudioInput, const String& preferredDefaultDeviceName);

    /** Makes a fresh processor as a stand-alone instance, replacing any held before. */
    virtual void createPlugin();
    /** Stops playback and deletes the processor. */
    virtual void deletePlugin();

    /** Attaches the processor to the processor player. */
    void startPlayback();
    /** Detaches the processor; once this returns no block reaches it. */
    void stopPlayback();

    /** Stores the processor state under "filterState". */
    void savePluginState();

    /** Opens the Audio/MIDI settings dialog without blocking. */
    void showAudioSettingsDialog();

    /** Open a file dialog and return at once; the chosen file is written or read when it closes. */
    void askUserToSaveState (const String& fileSuffix = String());
    void askUserToLoadState (const String& fileSuffix = String());

    /** The file chosen last ("lastStateFile"), or the documents folder. */
    File getLastFile() const;
    /** Remembers the chooser's result under "lastStateFile", when the settings can keep it. */
    void setLastFile (const FileChooser& fc);

    /** Replaces the file with the processor's state bytes; shows the save warning and returns false on failure. */
    bool saveStateTo (const File& file);
    /** Hands the file's bytes to the processor; shows the load warning and returns false if it can't be read whole. */
    bool loadStateFrom (const File& file);

    /** Decodes the framework's own base64 text ("3.gI1X" for the bytes abc) when it is the
        form of at most a state file's size exactly as the framework writes it. */
    static bool decodeStateText (const String& text, MemoryBlock& destData);

    //==============================================================================
    OptionalScopedPointer<PropertySet> userSettings;
    std::unique_ptr<AudioProcessor> processor;
    AudioDeviceManager deviceManager;
    AudioProcessorPlayer processorPlayer;
    Array<PluginInOuts> channelConfigurations;
    bool processorHasPotentialFeedbackLoop = true;
    std::atomic<bool> muteInput { true };
    Value shouldMuteInput;
    AudioBuffer<float> silentInputBuffer;
    bool autoOpenMidiInputs = false;
    std::unique_ptr<AudioDeviceManager::AudioDeviceSetup> preferredDeviceSetup;
    Array<MidiDeviceInfo> knownMidiInputs;
    std::unique_ptr<FileChooser> stateFileChooser;
    CallbackMaxSizeEnforcer sizeEnforcer { *this };

private:
    void audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                           int numInputChannels,
                                           float* const* outputChannelData,
                                           int numOutputChannels,
                                           int numSamples,
                                           const AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart (AudioIODevice* device) override;
    void audioDeviceStopped() override;

    void valueChanged (Value& value) override;
    void timerCallback() override;

    PluginInOuts getChannelCounts() const;

    /** Deletes any settings dialog still open on this holder, which refers to it. */
    void closeSettingsDialogs();

    void launchStateFileChooser (const String& title, const String& fileSuffix, int flags,
                                 std::function<void (const FileChooser&)> handler);
    /** Runs when a state-file dialog closes; a cancelled dialog does nothing. */
    void stateFileChosen (const FileChooser& fc, bool saving);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandalonePluginHolder)
};
} // namespace juce
