#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

#include <atomic>
#include <memory>
#include <vector>

namespace juce
{
/**
    Owns the audio side of the application: the one processor, the audio device
    manager, the processor player and the input-mute setting. Reads the device
    set-up, the mute setting and the processor state from the settings at start,
    and writes them back when it is destroyed.

    Threads: everything runs on the message thread except the audio callbacks,
    which run on the audio device thread and never allocate, lock or log.
*/
class StandalonePluginHolder : private AudioIODeviceCallback,
                               private Timer,
                               private Value::Listener
{
public:
    /** One allowed channel configuration. */
    struct PluginInOuts
    {
        short numIns, numOuts;
    };

    /** Cuts each device block into chunks no longer than the buffer size noted at start. */
    class CallbackMaxSizeEnforcer : public AudioIODeviceCallback
    {
    public:
        explicit CallbackMaxSizeEnforcer (AudioIODeviceCallback& callbackToWrap);
        ~CallbackMaxSizeEnforcer() override;

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
    };

    class SettingsComponent;

    StandalonePluginHolder (PropertySet* settingsToUse,
                            bool takeOwnershipOfSettings,
                            const String& preferredDefaultDeviceName,
                            const AudioDeviceManager::AudioDeviceSetup* preferredSetupOptions,
                            const Array<PluginInOuts>& channels,
                            bool shouldAutoOpenMidiDevices);

    ~StandalonePluginHolder() override;

    void init (bool enableAudioInput, const String& preferredDefaultDeviceName);

    virtual void createPlugin();
    virtual void deletePlugin();

    void startPlayback();
    void stopPlayback();

    /** Stores the processor state under "filterState". */
    void savePluginState();

    /** Opens the Audio/MIDI settings dialog without blocking. */
    void showAudioSettingsDialog();

    /** State files chosen by the user. */
    void askUserToSaveState (const String& fileSuffix = String());
    void askUserToLoadState (const String& fileSuffix = String());
    File getLastFile() const;
    void setLastFile (const FileChooser& fc);

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

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandalonePluginHolder)
};
} // namespace juce
