#include "HostTestSupport.h"
#include "SettingsComponent.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** The real processor with state bytes of the test's choosing. */
struct ProbeProcessor : JuceDemoPluginAudioProcessor
{
    void getStateInformation (juce::MemoryBlock& destData) override { destData = stateToWrite; }
    void setStateInformation (const void* data, int size) override { lastStateRead.replaceAll (data, (size_t) size), ++numStateReads; }
    StateReading takeState (const void* data, int size) override
    {
        const auto reading = JuceDemoPluginAudioProcessor().takeState (data, size);
        if (reading != StateReading::tooLarge)
            setStateInformation (data, size);
        return reading;
    }

    juce::MemoryBlock stateToWrite, lastStateRead;
    int numStateReads = 0;
};

/** Puts a probe in place of the holder's processor, the way a reset does. */
ProbeProcessor& installProbe (StandalonePluginHolder& holder)
{
    holder.stopPlayback();
    auto* probe = new ProbeProcessor();
    holder.processor.reset (probe);
    holder.startPlayback();
    return *probe;
}

juce::DialogWindow* findSettingsDialog() { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings"); }

juce::MemoryBlock makeBytes (size_t size) { return { std::string (size, 'z').data(), size }; }
} // namespace

TEST (SizeEnforcer, HandsOnBlocksInPlaceInPiecesOfTheBufferSizeWithTheDevicesChannels)
{
    struct Recorder : juce::AudioIODeviceCallback
    {
        struct Call
        {
            int numSamples;
            std::vector<const float*> ins;
            std::vector<float*> outs;
        };
        void audioDeviceIOCallbackWithContext (const float* const* i, int numIns, float* const* o, int numOuts, int n, const juce::AudioIODeviceCallbackContext&) override { calls.push_back ({ n, { i, i + numIns }, { o, o + numOuts } }); }
        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}
        std::vector<Call> calls;
    };
    // Device buffer size, channels and length of the block, the pieces handed on.
    const std::tuple<int, int, int, int, std::vector<int>> cases[] = {
        { 256, 16, 16, 1000, { 256, 256, 256, 232 } },
        { 256, 4, 2, 300, { 256, 44 } }, // fewer channels than the device reported: silence in, scratch out
        { 256, 0, 0, 100, { 100 } },
        { 0, 16, 16, 64, {} }, // no buffer size noted: nothing is called, the outputs play silence
    };
    for (const auto& [bufferSize, blockIns, blockOuts, numSamples, pieces] : cases)
    {
        Recorder target;
        StandalonePluginHolder::CallbackMaxSizeEnforcer enforcer (target);
        DeviceBlock block (blockIns, blockOuts, numSamples);
        juce::FloatVectorOperations::fill (block.outputs.getWritePointer (0), 0.7f, numSamples);
        block.run (enforcer, numSamples); // before any start: silence
        EXPECT_EQ (block.outputs.getSample (0, 0), blockOuts == 0 ? 0.7f : 0.0f);
        FakeDevice device (16, 16, bufferSize);
        enforcer.audioDeviceAboutToStart (&device);
        block.run (enforcer, numSamples);
        ASSERT_EQ (target.calls.size(), pieces.size()) << bufferSize << ", " << numSamples;
        for (size_t i = 0, position = 0; i < pieces.size(); position += (size_t) pieces[i++])
        {
            const auto& call = target.calls[i];
            ASSERT_EQ (std::tuple (call.numSamples, call.ins.size(), call.outs.size()), std::tuple (pieces[i], (size_t) 16, (size_t) 16));
            for (size_t k = 0; k < 16; ++k)
            {
                if (k < (size_t) blockIns)
                    EXPECT_EQ (call.ins[k], block.inputPointers[k] + position);
                else
                    EXPECT_EQ (juce::FloatVectorOperations::findMaximum (call.ins[k], call.numSamples), 0.0f);
                if (k < (size_t) blockOuts)
                    EXPECT_EQ (call.outs[k], block.outputPointers[k] + position);
                else
                    juce::FloatVectorOperations::fill (call.outs[k], 1.0f, call.numSamples);
                EXPECT_EQ (std::count (call.outs.begin(), call.outs.end(), call.outs[k]), 1);
            }
        }
    }
}

// Counts the framework's decoder would trust (texts it decodes are checked against it by the fuzz target).
TEST (StateText, RejectsCountsThatAreNoNumberOrTooLarge)
{
    for (const auto* text : { "", "abc", ".gI1X", "-1.gI1X", "x3.gI1X", "4.gI1X", "1.", "2000000000.gI1X", "99999999999999999999.gI1X" })
        EXPECT_FALSE (StandalonePluginHolder::decodeStateText (text, *std::make_unique<juce::MemoryBlock>())) << "\"" << text << "\"";
}

TEST (PluginHolder, OpensAllSixteenChannelsFallingBackFromAMissingDeviceAndItsSettingsDialogOffersThemAll)
{
    struct FakeDeviceType : juce::AudioIODeviceType
    {
        FakeDeviceType() : juce::AudioIODeviceType ("Fake") {}
        void scanForDevices() override {}
        juce::StringArray getDeviceNames (bool) const override { return { longName }; }
        int getDefaultDeviceIndex (bool) const override { return 0; }
        int getIndexOfDevice (juce::AudioIODevice*, bool) const override { return 0; }
        bool hasSeparateInputsAndOutputs() const override { return false; }
        juce::AudioIODevice* createDevice (const juce::String& name, const juce::String&) override { return name == longName ? new FakeDevice (16, 16, 512) : nullptr; }
        const juce::String longName = juce::String::repeatedString ("Fake", 150); // longer than the settings keep
    };
    TempSettings settings;
    const juce::String gone = "<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"gone\" audioInputDeviceName=\"gone\"/>";
    settings.get().setValue ("audioSetup", gone);
    auto holder = makeHolder (&settings.get());
    holder->deviceManager.addAudioDeviceType (std::make_unique<FakeDeviceType>());
    holder->init (true, {});
    const auto activeChannels = [&] {
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        return device == nullptr ? std::pair (-1, -1) : std::pair (device->getActiveInputChannels().countNumberOfSetBits(), device->getActiveOutputChannels().countNumberOfSetBits());
    };
    EXPECT_EQ (activeChannels(), std::pair (16, 16));
    holder->showAudioSettingsDialog();
    auto lists = findChildren<juce::ListBox> (*findSettingsDialog());
    lists.erase (std::remove_if (lists.begin(), lists.end(), [] (auto* list) { return list->getModel() == nullptr || list->getModel()->getNumRows() != 8; }), lists.end());
    ASSERT_EQ (lists.size(), 2u) << "8 stereo pairs each way";
    // Switch the last pairs off and on again: a limit below 16 refuses the second step.
    for (int step = 0; step < 2; ++step)
    {
        for (auto* list : lists)
            list->getModel()->returnKeyPressed (7);
        EXPECT_EQ (activeChannels(), std::pair (14 + 2 * step, 14 + 2 * step));
    }
    // The dialog goes with its own holder only.
    auto other = makeHolder (nullptr);
    other->showAudioSettingsDialog();
    holder.reset();
    EXPECT_EQ (settings.get().getValue ("audioSetup"), gone) << "a set-up the next start would not read is not stored";
    EXPECT_NE (findSettingsDialog(), nullptr);
    other.reset();
    EXPECT_EQ (findSettingsDialog(), nullptr);
    pumpMessages (50);
}

TEST (StateFiles, SaveAndLoadWriteAndReadExactlyTheProcessorsBytesOrWarnAndLeaveTarget)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto& probe = installProbe (*holder);
    const auto folder = settings.folder.getChildFile ("states");
    ASSERT_TRUE (folder.createDirectory());
    const auto numFiles = [&] { return folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*").size(); };
    const auto takeWarning = [] {
        auto* alert = findOnDesktop<juce::AlertWindow>();
        const auto title = alert != nullptr ? alert->getName() : juce::String();
        return closeModalWindows(), title;
    };

    const auto target = folder.getChildFile ("one.state");
    ASSERT_TRUE (target.replaceWithText ("old contents that are longer than the new ones, by far, really"));
    probe.stateToWrite = makeBytes (20000);
    EXPECT_TRUE (holder->saveStateTo (target));
    EXPECT_EQ (takeWarning(), "");
    EXPECT_EQ (target.loadFileAsString(), probe.stateToWrite.toString());
    EXPECT_EQ (numFiles(), 1);

    // A name of up to 255 bytes, of any characters, is saved to; a longer one is refused.
    const auto euros = juce::String::repeatedString (juce::String (juce::CharPointer_UTF8 ("\xe2\x82\xac")), 85);
    for (const auto& [name, saved] : { std::pair (juce::String::repeatedString ("n", 255), true), std::pair (euros, true), std::pair (juce::String::repeatedString ("n", 256), false) })
    {
        const auto file = folder.getChildFile (name);
        EXPECT_EQ (holder->saveStateTo (file), saved) << name.getNumBytesAsUTF8();
        EXPECT_EQ (takeWarning(), saved ? "" : "Error whilst saving");
        EXPECT_TRUE (file.loadFileAsString() == (saved ? probe.stateToWrite.toString() : ""));
        EXPECT_TRUE (file.deleteFile() && numFiles() == 1);
    }

    // A write that stops part-way, as on a full disk, leaves the old file and no temporary one.
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previousLimit {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &previousLimit), 0);

    for (const auto size : { (size_t) 6000, (size_t) 100000 })
    {
        ASSERT_TRUE (target.replaceWithText ("previous state"));
        probe.stateToWrite = makeBytes (size);
        auto small = previousLimit;
        small.rlim_cur = 4096;
        ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
        const auto saved = holder->saveStateTo (target);
        setrlimit (RLIMIT_FSIZE, &previousLimit);
        EXPECT_FALSE (saved) << size;
        EXPECT_EQ (target.loadFileAsString(), "previous state") << size;
        EXPECT_EQ (takeWarning(), "Error whilst saving") << size;
        EXPECT_EQ (numFiles(), 1);
    }

    std::signal (SIGXFSZ, previousHandler);
    const auto bytes = makeBytes (5000);
    ASSERT_TRUE (target.replaceWithData (bytes.getData(), bytes.getSize()));
    EXPECT_TRUE (holder->loadStateFrom (target));
    EXPECT_EQ (probe.lastStateRead, bytes);
    EXPECT_EQ (takeWarning(), "");

    const auto pipe = folder.getChildFile ("pipe");
    TestFifo fifo (pipe);
    ASSERT_TRUE (fifo.made);
    const auto tooLarge = folder.getChildFile ("too-large");
    ASSERT_TRUE (tooLarge.replaceWithData (makeBytes (1024 * 1024 + 1).getData(), 1024 * 1024 + 1));

    const auto device = folder.getChildFile ("null"); // a copy of /dev/null
    ASSERT_EQ (::mknod (device.getFullPathName().toRawUTF8(), S_IFCHR | 0666, makedev (1, 3)), 0);

    // State bytes the processor would write back beyond what it reads again (1000 elements and its parameters).
    const auto text = "<state>" + juce::String::repeatedString ("<n/>", 999).toStdString() + "</state>";
    const auto textLength = juce::ByteOrder::swapIfBigEndian ((juce::uint32) text.size());
    const auto overBound = folder.getChildFile ("over-bound");
    const auto state = "VC2!" + std::string (reinterpret_cast<const char*> (&textLength), 4) + text;
    ASSERT_TRUE (overBound.replaceWithData (state.data(), state.size()));

    for (const auto& unreadable : { folder.getChildFile ("missing"), folder, device, pipe, tooLarge, overBound })
    {
        EXPECT_FALSE (holder->loadStateFrom (unreadable)) << unreadable.getFullPathName();
        EXPECT_EQ (takeWarning(), "Error whilst loading");
    }

    // Only a regular file or a new name is written: anything else is left as it was.
    for (const auto& notAFile : { folder, device, pipe })
    {
        EXPECT_FALSE (holder->saveStateTo (notAFile)) << notAFile.getFullPathName();
        EXPECT_EQ (takeWarning(), "Error whilst saving");
    }

    const auto fileType = [] (const juce::File& f) { struct stat info = {}; return ::stat (f.getFullPathName().toRawUTF8(), &info) == 0 ? info.st_mode & S_IFMT : 0u; };
    EXPECT_TRUE (fileType (device) == S_IFCHR && fileType (pipe) == S_IFIFO);

    EXPECT_EQ (probe.numStateReads, 1);

    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be closed from here";

    // The dialogs: closed with a file by their own button (a save over a file asks first), or cancelled.
    const auto choose = [&] (bool save, const juce::File& file) {
        save ? holder->askUserToSaveState() : holder->askUserToLoadState();
        auto* dialog = findOnDesktop<juce::FileChooserDialogBox>();
        ASSERT_NE (dialog, nullptr);
        findChildren<juce::FileBrowserComponent> (*dialog)[0]->setFileName (file.getFullPathName());
        file == juce::File() ? dialog->exitModalState (0) : findChildren<juce::TextButton> (*dialog)[0]->triggerClick(); // Save or Open
        pumpMessages (50);
    };

    settings.get().setValue ("lastStateFile", "relative/name.state");
    EXPECT_EQ (holder->getLastFile(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
    probe.stateToWrite = makeBytes (300);
    choose (true, {});
    choose (false, {});
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), "relative/name.state");
    EXPECT_EQ (probe.numStateReads, 1);
    EXPECT_EQ (numFiles(), 5);

    const auto file = folder.getChildFile ("chosen.state");
    choose (true, file);
    EXPECT_EQ (holder->getLastFile(), file);

    // Saving over it: nothing is written while the question is up; cancelled, the file stays, answered, it is written.
    probe.stateToWrite = makeBytes (400);
    choose (true, file);
    EXPECT_EQ (takeWarning(), "File already exists");
    choose (true, file);
    auto* question = findOnDesktop<juce::AlertWindow> ("File already exists");
    ASSERT_NE (question, nullptr);
    EXPECT_EQ (file.getSize(), 300);
    question->exitModalState (1);
    pumpMessages (50);
    EXPECT_EQ (file.getSize(), 400);

    // A name pasted into the dialog, longer than a path can be: the save warns, and the last file stays.
    choose (true, folder.getChildFile (juce::String::repeatedString ("x", 30000)));
    EXPECT_EQ (takeWarning(), "Error whilst saving");
    EXPECT_EQ (holder->getLastFile(), file);
}
