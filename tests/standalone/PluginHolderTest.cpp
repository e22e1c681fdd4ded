#include "HostTestSupport.h"
#include "SettingsComponent.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** A probe that notes whether the player still held it when it was deleted. */
struct WatchedProbe : ProbeProcessor
{
    ~WatchedProbe() override { attachedAtDeletion = holder->processorPlayer.getCurrentProcessor() == this; }

    inline static StandalonePluginHolder* holder = nullptr;
    inline static bool attachedAtDeletion = false;
};

juce::MemoryBlock stateOf (juce::AudioProcessor& processor)
{
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    return state;
}

juce::DialogWindow* findSettingsDialog() { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings"); }
} // namespace

TEST (PluginHolder, PlaysAStandAloneProcessorAndDetachesEveryProcessorBeforeDeletingIt)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    EXPECT_EQ (holder->processor->wrapperType, juce::AudioProcessor::wrapperType_Standalone);

    for (const auto& step : std::vector<std::function<void()>> { [&] { holder->createPlugin(); }, [&] { holder->deletePlugin(); }, [&] { holder.reset(); } })
    {
        WatchedProbe::holder = holder.get();
        WatchedProbe::attachedAtDeletion = true;
        installProbe<WatchedProbe> (*holder);
        step();
        EXPECT_FALSE (WatchedProbe::attachedAtDeletion);
    }
}

TEST (PluginHolder, ReadsTheMutingAndTheStateOnlyWhenTheyDecode)
{
    TempSettings settings;
    settings.get().setValue ("shouldMuteInput", "0");
    auto holder = makeHolder (&settings.get());
    EXPECT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));

    JuceDemoPluginAudioProcessor source;
    const auto defaults = stateOf (source);

    for (const auto* text : { "-5.gI1X", "2000000000.gI1X" })
    {
        settings.get().setValue ("filterState", text);
        EXPECT_EQ (stateOf (*makeHolder (&settings.get())->processor), defaults) << text;
    }

    makeHolder (nullptr)->savePluginState(); // without settings nothing is read or written
}

TEST (StateText, DecodesAsTheFrameworkDoesButRejectsCountsThatAreNoNumberOrTooLarge)
{
    for (const auto& text : { juce::String ("0."), juce::String (" 3.gI 1X"), juce::String ("3.g,I1X\n"), makeBytes (100).toBase64Encoding() })
    {
        juce::MemoryBlock ours, theirs;
        EXPECT_TRUE (StandalonePluginHolder::decodeStateText (text, ours)) << text;
        EXPECT_TRUE (theirs.fromBase64Encoding (text));
        EXPECT_EQ (ours, theirs) << text;
    }

    for (const auto* text : { "", "abc", ".gI1X", "-1.gI1X", "x3.gI1X", "4.gI1X", "1.", "2000000000.gI1X", "99999999999999999999.gI1X" })
        EXPECT_FALSE (StandalonePluginHolder::decodeStateText (text, *std::make_unique<juce::MemoryBlock>())) << "\"" << text << "\"";
}

TEST (PluginHolder, OpensAllSixteenChannelsFallingBackFromAMissingDeviceAndTheDialogOffersThemAll)
{
    struct FakeDeviceType : juce::AudioIODeviceType
    {
        FakeDeviceType() : juce::AudioIODeviceType ("Fake") {}
        void scanForDevices() override {}
        juce::StringArray getDeviceNames (bool) const override { return { "Fake" }; }
        int getDefaultDeviceIndex (bool) const override { return 0; }
        int getIndexOfDevice (juce::AudioIODevice*, bool) const override { return 0; }
        bool hasSeparateInputsAndOutputs() const override { return false; }
        juce::AudioIODevice* createDevice (const juce::String& name, const juce::String&) override { return name == "Fake" ? new FakeDevice (16, 16, 512) : nullptr; }
    };

    TempSettings settings;
    settings.get().setValue ("audioSetup", "<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"gone\" audioInputDeviceName=\"gone\"/>");
    auto holder = makeHolder (&settings.get());
    holder->deviceManager.addAudioDeviceType (std::make_unique<FakeDeviceType>());
    holder->init (true, {});

    const auto expectChannels = [&] (int expected) {
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        ASSERT_NE (device, nullptr);
        EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), expected);
        EXPECT_EQ (device->getActiveOutputChannels().countNumberOfSetBits(), expected);
    };

    expectChannels (16);
    holder->showAudioSettingsDialog();
    auto lists = findChildren<juce::ListBox> (*findSettingsDialog());
    lists.removeIf ([] (auto* list) { return list->getModel() == nullptr || list->getModel()->getNumRows() != 8; });
    ASSERT_EQ (lists.size(), 2) << "8 stereo pairs each way";

    // Switch the last pairs off and on again: a limit below 16 refuses the second step.
    for (int step = 0; step < 2; ++step)
    {
        for (auto* list : lists)
            list->getModel()->returnKeyPressed (7);

        expectChannels (14 + 2 * step);
    }

    closeModalWindows();
}

TEST (SettingsDialog, HasTheMuteToggleBoundBothWaysAboveTheSelectorAndGoesWithItsHolder)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto other = makeHolder (nullptr);
    holder->showAudioSettingsDialog();
    other->showAudioSettingsDialog();

    auto* dialog = findSettingsDialog();
    ASSERT_NE (dialog, nullptr);
    auto* toggle = findChildren<juce::ToggleButton> (*dialog).getFirst();
    EXPECT_TRUE (toggle->getToggleState());
    EXPECT_EQ (findChildren<juce::AudioDeviceSelectorComponent> (*dialog).getFirst()->getY(), 36);

    toggle->triggerClick();
    EXPECT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));
    holder->shouldMuteInput = true;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return toggle->getToggleState() && holder->muteInput.load(); }, 2000));

    holder.reset();
    EXPECT_NE (findSettingsDialog(), nullptr) << "the other holder's stays";
    other.reset();
    EXPECT_EQ (findSettingsDialog(), nullptr);
    pumpMessages (50);
}
