#include "StandalonePluginHolder.h"

#include "PluginProcessor.h"
#include "RegularFile.h"
#include "SettingsFile.h"
#include "StateText.h"

#include <cerrno>
#include <sys/stat.h>

namespace
{
int countChannels (const juce::BigInteger& channels)
{
    return channels.countNumberOfSetBits();
}

int getMainBusChannels (const juce::AudioProcessor* processor, bool isInput)
{
    if (processor != nullptr)
        if (auto* bus = processor->getBus (isInput, 0))
            return bus->getNumberOfChannels();

    return 0;
}

juce::String getFilePatterns (const juce::String& fileSuffix)
{
    if (fileSuffix.isEmpty())
        return {};

    return (fileSuffix.startsWith (".") ? "*" : "*.") + fileSuffix;
}

/** True when the path names nothing yet or a regular file (links followed): a device, a pipe
    or a folder is never replaced. */
bool isNewOrRegularFile (const juce::File& file)
{
    struct stat info = {};

    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return errno == ENOENT;

    return S_ISREG (info.st_mode);
}

bool writeStateFile (const juce::File& file, const juce::MemoryBlock& data)
{
    if (! isNewOrRegularFile (file))
        return false;

    if (data.isEmpty())
        return file.deleteFile();

    return guards::replaceWithBytes (file, data);
}

/** Only a regular file of a state's size is read: never a device, a pipe or a folder. */
bool readStateFile (const juce::File& file, juce::MemoryBlock& data)
{
    return guards::readRegularFile (file, guards::StateText::maximumSize, data) == guards::FileRead::read;
}

/** Hands the bytes to the processor; false when it refuses them as a state it would write back
    beyond what is read again. */
bool handOverState (juce::AudioProcessor& processor, const juce::MemoryBlock& data)
{
    if (auto* ours = dynamic_cast<JuceDemoPluginAudioProcessor*> (&processor))
        return ours->takeState (data.getData(), (int) data.getSize()) != JuceDemoPluginAudioProcessor::StateReading::tooLarge;

    processor.setStateInformation (data.getData(), (int) data.getSize());
    return true;
}

void showStateFileWarning (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                            juce::translate (title),
                                            juce::translate (message),
                                            {},
                                            nullptr,
                                            nullptr);
}
} // namespace

//==============================================================================
namespace juce
{
StandalonePluginHolder::StandalonePluginHolder (PropertySet* settingsToUse,
                                                bool takeOwnershipOfSettings,
                                                const String& preferredDefaultDeviceName,
                                                const AudioDeviceManager::AudioDeviceSetup* preferredSetupOptions,
                                                const Array<PluginInOuts>& channels,
                                                bool shouldAutoOpenMidiDevices)
    : userSettings (settingsToUse, takeOwnershipOfSettings),
      channelConfigurations (channels),
      autoOpenMidiInputs (shouldAutoOpenMidiDevices)
{
    if (preferredSetupOptions != nullptr)
        preferredDeviceSetup = std::make_unique<AudioDeviceManager::AudioDeviceSetup> (*preferredSetupOptions);

    shouldMuteInput.addListener (this);
    shouldMuteInput = true;

    createPlugin();

    const auto inputWanted = channelConfigurations.isEmpty()
                                 ? getMainBusChannels (processor.get(), true) > 0
                                 : channelConfigurations.getReference (0).numIns > 0;

    init (inputWanted, preferredDefaultDeviceName);
}

StandalonePluginHolder::~StandalonePluginHolder()
{
    // A dialog left open at shut-down would outlive the device manager it shows.
    closeSettingsDialogs();
    stopTimer();

    deletePlugin();

    if (userSettings != nullptr)
    {
        // A set-up that the next start would not read (a device with names too long, say) leaves the one stored.
        const auto setup = deviceManager.createStateXml();

        if (guards::SettingsFile::canStore ("audioSetup", setup.get()))
            userSettings->setValue ("audioSetup", setup.get());
        userSettings->setValue ("shouldMuteInput", (bool) shouldMuteInput.getValue());
    }

    deviceManager.removeMidiInputDeviceCallback ({}, &processorPlayer);
    deviceManager.removeAudioCallback (&sizeEnforcer);
}

//==============================================================================
StandalonePluginHolder::PluginInOuts StandalonePluginHolder::getChannelCounts() const
{
    if (! channelConfigurations.isEmpty())
        return channelConfigurations.getReference (0);

    return { (short) getMainBusChannels (processor.get(), true),
             (short) getMainBusChannels (processor.get(), false) };
}

void StandalonePluginHolder::init (bool enableAudioInput, const String& preferredDefaultDeviceName)
{
    deviceManager.addAudioCallback (&sizeEnforcer);
    deviceManager.addMidiInputDeviceCallback ({}, &processorPlayer);

    std::unique_ptr<XmlElement> savedSetup;

    if (userSettings != nullptr)
    {
        savedSetup = guards::SettingsFile::readDeviceSetup (userSettings->getValue ("audioSetup"));

        shouldMuteInput = userSettings->getBoolValue ("shouldMuteInput", true);
    }

    auto counts = getChannelCounts();

    if (channelConfigurations.isEmpty() && counts.numIns == 0 && counts.numOuts == 0
        && processor != nullptr && processor->isMidiEffect())
        counts.numOuts = 1;

    deviceManager.initialise (enableAudioInput ? counts.numIns : 0,
                              counts.numOuts,
                              savedSetup.get(),
                              true,
                              preferredDefaultDeviceName,
                              preferredDeviceSetup.get());

    savedSetup.reset();

    if (userSettings != nullptr && processor != nullptr)
    {
        MemoryBlock data;

        if (decodeStateText (userSettings->getValue ("filterState"), data) && data.getSize() > 0)
            processor->setStateInformation (data.getData(), (int) data.getSize());
    }

    startPlayback();

    if (autoOpenMidiInputs)
        startTimer (500);
}

//==============================================================================
void StandalonePluginHolder::createPlugin()
{
    // The player must never be left holding a processor that is about to go.
    if (processor != nullptr && processorPlayer.getCurrentProcessor() == processor.get())
        stopPlayback();

    AudioProcessor::setTypeOfNextNewPlugin (AudioProcessor::wrapperType_Standalone);
    std::unique_ptr<AudioProcessor> newProcessor (new JuceDemoPluginAudioProcessor());
    AudioProcessor::setTypeOfNextNewPlugin (AudioProcessor::wrapperType_Undefined);

    processor = std::move (newProcessor);

    processor->disableNonMainBuses();
    processor->setRateAndBufferSizeDetails (44100.0, 512);

    const auto counts = getChannelCounts();
    processorHasPotentialFeedbackLoop = counts.numIns > 0 && counts.numOuts > 0;
}

void StandalonePluginHolder::deletePlugin()
{
    stopPlayback();
    processor = nullptr;
}

void StandalonePluginHolder::startPlayback()
{
    processorPlayer.setProcessor (processor.get());
}

void StandalonePluginHolder::stopPlayback()
{
    processorPlayer.setProcessor (nullptr);
}

void StandalonePluginHolder::savePluginState()
{
    if (userSettings == nullptr || processor == nullptr)
        return;

    MemoryBlock data;
    processor->getStateInformation (data);
    userSettings->setValue ("filterState", data.toBase64Encoding());
}

bool StandalonePluginHolder::decodeStateText (const String& text, MemoryBlock& destData)
{
    return guards::StateText::isEncodedState (text) && destData.fromBase64Encoding (text);
}

//==============================================================================
void StandalonePluginHolder::askUserToSaveState (const String& fileSuffix)
{
    launchStateFileChooser ("Save current state", fileSuffix,
                            FileBrowserComponent::saveMode
                                | FileBrowserComponent::canSelectFiles
                                | FileBrowserComponent::warnAboutOverwriting,
                            [this] (const FileChooser& fc) { stateFileChosen (fc, true); });
}

void StandalonePluginHolder::askUserToLoadState (const String& fileSuffix)
{
    launchStateFileChooser ("Load a saved state", fileSuffix,
                            FileBrowserComponent::openMode
                                | FileBrowserComponent::canSelectFiles,
                            [this] (const FileChooser& fc) { stateFileChosen (fc, false); });
}

void StandalonePluginHolder::launchStateFileChooser (const String& title, const String& fileSuffix, int flags,
                                                     std::function<void (const FileChooser&)> handler)
{
    // The new chooser is stored before the previous one goes.
    stateFileChooser = std::make_unique<FileChooser> (translate (title),
                                                      getLastFile(),
                                                      getFilePatterns (fileSuffix),
                                                      true, false, nullptr);

    stateFileChooser->launchAsync (flags, std::move (handler));
}

void StandalonePluginHolder::stateFileChosen (const FileChooser& fc, bool saving)
{
    const auto file = fc.getResult();

    if (file.getFullPathName().isEmpty())
        return;

    setLastFile (fc);

    if (saving)
        saveStateTo (file);
    else
        loadStateFrom (file);
}

File StandalonePluginHolder::getLastFile() const
{
    const auto path = userSettings != nullptr ? userSettings->getValue ("lastStateFile") : String();

    // Anything but an absolute path (say, a hand-edited settings file) counts as unset.
    if (path.isEmpty() || ! File::isAbsolutePath (path))
        return File::getSpecialLocation (File::userDocumentsDirectory);

    return File (path);
}

void StandalonePluginHolder::setLastFile (const FileChooser& fc)
{
    // A name that the next start would not read (longer than a path can be, say) leaves the one stored.
    const auto path = fc.getResult().getFullPathName();

    if (userSettings != nullptr && guards::SettingsFile::canStore ("lastStateFile", path))
        userSettings->setValue ("lastStateFile", path);
}

bool StandalonePluginHolder::saveStateTo (const File& file)
{
    MemoryBlock data;

    if (processor != nullptr)
        processor->getStateInformation (data);

    if (processor != nullptr && writeStateFile (file, data))
        return true;

    showStateFileWarning ("Error whilst saving", "Couldn't write to the specified file!");
    return false;
}

bool StandalonePluginHolder::loadStateFrom (const File& file)
{
    MemoryBlock data;

    if (processor != nullptr && readStateFile (file, data) && handOverState (*processor, data))
        return true;

    showStateFileWarning ("Error whilst loading", "Couldn't read from the specified file!");
    return false;
}

//==============================================================================
void StandalonePluginHolder::valueChanged (Value& value)
{
    muteInput.store ((bool) value.getValue());
}

void StandalonePluginHolder::timerCallback()
{
    const auto newInputs = MidiInput::getAvailableDevices();

    if (newInputs == knownMidiInputs)
        return;

    for (const auto& info : knownMidiInputs)
        if (! newInputs.contains (info))
            deviceManager.setMidiInputDeviceEnabled (info.identifier, false);

    for (const auto& info : newInputs)
        if (! knownMidiInputs.contains (info))
            deviceManager.setMidiInputDeviceEnabled (info.identifier, true);

    knownMidiInputs = newInputs;
}

//==============================================================================
void StandalonePluginHolder::audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                                               int numInputChannels,
                                                               float* const* outputChannelData,
                                                               int numOutputChannels,
                                                               int numSamples,
                                                               const AudioIODeviceCallbackContext& context)
{
    if (! muteInput.load())
    {
        processorPlayer.audioDeviceIOCallbackWithContext (inputChannelData, numInputChannels,
                                                          outputChannelData, numOutputChannels,
                                                          numSamples, context);
        return;
    }

    silentInputBuffer.clear();
    processorPlayer.audioDeviceIOCallbackWithContext (silentInputBuffer.getArrayOfReadPointers(), numInputChannels,
                                                      outputChannelData, numOutputChannels,
                                                      numSamples, context);
}

void StandalonePluginHolder::audioDeviceAboutToStart (AudioIODevice* device)
{
    silentInputBuffer.setSize (countChannels (device->getActiveInputChannels()),
                               device->getCurrentBufferSizeSamples(),
                               false, false, false);
    silentInputBuffer.clear();

    processorPlayer.audioDeviceAboutToStart (device);
    processorPlayer.setMidiOutput (deviceManager.getDefaultMidiOutput());
}

void StandalonePluginHolder::audioDeviceStopped()
{
    processorPlayer.setMidiOutput (nullptr);
    processorPlayer.audioDeviceStopped();
    silentInputBuffer.setSize (0, 0);
}

//==============================================================================
StandalonePluginHolder::CallbackMaxSizeEnforcer::CallbackMaxSizeEnforcer (AudioIODeviceCallback& callbackToWrap)
    : target (callbackToWrap)
{
}

StandalonePluginHolder::CallbackMaxSizeEnforcer::~CallbackMaxSizeEnforcer() = default;

void StandalonePluginHolder::CallbackMaxSizeEnforcer::audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                                                                        int numInputChannels,
                                                                                        float* const* outputChannelData,
                                                                                        int numOutputChannels,
                                                                                        int numSamples,
                                                                                        const AudioIODeviceCallbackContext& context)
{
    const auto carriedIns = inputChannelData != nullptr ? jmax (0, numInputChannels) : 0;
    const auto carriedOuts = outputChannelData != nullptr ? jmax (0, numOutputChannels) : 0;

    if (maxBlockSize <= 0)
    {
        // Nothing downstream has been prepared for a block yet: play silence.
        for (int k = 0; k < carriedOuts; ++k)
            if (auto* out = outputChannelData[k])
                FloatVectorOperations::clear (out, jmax (0, numSamples));

        return;
    }

    const auto numIns = (int) inputChunkPointers.size();
    const auto numOuts = (int) outputChunkPointers.size();

    for (int position = 0; position < numSamples;)
    {
        const auto length = jmin (maxBlockSize, numSamples - position);

        for (int k = 0; k < numIns; ++k)
        {
            const auto* in = k < carriedIns ? inputChannelData[k] : nullptr;
            inputChunkPointers[(size_t) k] = in != nullptr ? in + position : spareChannels.getReadPointer (0);
        }

        for (int k = 0; k < numOuts; ++k)
        {
            auto* out = k < carriedOuts ? outputChannelData[k] : nullptr;
            outputChunkPointers[(size_t) k] = out != nullptr ? out + position : spareChannels.getWritePointer (1 + k);
        }

        target.audioDeviceIOCallbackWithContext (inputChunkPointers.data(), numIns,
                                                 outputChunkPointers.data(), numOuts,
                                                 length, context);
        position += length;
    }
}

void StandalonePluginHolder::CallbackMaxSizeEnforcer::audioDeviceAboutToStart (AudioIODevice* device)
{
    maxBlockSize = device->getCurrentBufferSizeSamples();
    inputChunkPointers.resize ((size_t) countChannels (device->getActiveInputChannels()));
    outputChunkPointers.resize ((size_t) countChannels (device->getActiveOutputChannels()));

    spareChannels.setSize (1 + (int) outputChunkPointers.size(), jmax (0, maxBlockSize));
    spareChannels.clear();

    target.audioDeviceAboutToStart (device);
}

void StandalonePluginHolder::CallbackMaxSizeEnforcer::audioDeviceStopped()
{
    target.audioDeviceStopped();
}
} // namespace juce
