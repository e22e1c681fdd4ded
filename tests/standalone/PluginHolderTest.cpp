#include "HostTestSupport.h"
#include "PluginProcessor.h"
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

/** Replaces the holder's processor with a watched probe, then runs the step that should detach and delete it. */
template <typename Step>
bool attachedWhenDeleted (StandalonePluginHolder& holder, Step&& step)
{
    WatchedProbe::holder = &holder;
    WatchedProbe::attachedAtDeletion = true;
    installProbe<WatchedProbe> (holder);
    step();
    return WatchedProbe::attachedAtDeletion;
}

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

    for (int round = 0; round < 2; ++round) // at start-up, then as a reset makes it
    {
        ASSERT_NE (dynamic_cast<JuceDemoPluginAudioProcessor*> (holder->processor.get()), nullptr);
        EXPECT_EQ (holder->processor->wrapperType, juce::AudioProcessor::wrapperType_Standalone);
        EXPECT_EQ (holder->processorPlayer.getCurrentProcessor(), holder->processor.get());
        EXPECT_TRUE (holder->processorHasPotentialFeedbackLoop);
        holder->processorHasPotentialFeedbackLoop = false;
        holder->deletePlugin();
        holder->createPlugin();
        holder->startPlayback();
    }

    EXPECT_EQ (JuceDemoPluginAudioProcessor().wrapperType, juce::AudioProcessor::wrapperType_Undefined) << "the mark is for the holder's only";
    EXPECT_FALSE (attachedWhenDeleted (*holder, [&] { holder->createPlugin(); }));
    EXPECT_FALSE (attachedWhenDeleted (*holder, [&] { holder->deletePlugin(); }));
    EXPECT_FALSE (attachedWhenDeleted (*holder, [&] { holder.reset(); }));
}

TEST (PluginHolder, ReadsAndWritesTheMutingTheSetupAndTheStateInTheSettings)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    EXPECT_TRUE (holder->muteInput.load()) << "muted without a setting";
    auto& probe = installProbe (*holder);
    probe.stateToWrite.replaceAll ("abc", 3);
    holder->savePluginState();
    EXPECT_EQ (settings.get().getValue ("filterState"), "3.gI1X");
    holder.reset();
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "1");
    EXPECT_TRUE (settings.get().containsKey ("audioSetup"));

    settings.get().setValue ("shouldMuteInput", "0");
    holder = makeHolder (&settings.get());
    EXPECT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));
    holder.reset();
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "0");

    // The next start restores a saved state; text that does not decode leaves the defaults.
    JuceDemoPluginAudioProcessor source;
    const auto defaults = stateOf (source);
    source.getParameters()[0]->setValueNotifyingHost (0.25f);
    settings.get().setValue ("filterState", stateOf (source).toBase64Encoding());
    EXPECT_EQ (makeHolder (&settings.get())->processor->getParameters()[0]->getValue(), 0.25f);

    for (const auto* text : { "", "0.", "3.gI1X", "-5.gI1X", "2000000000.gI1X" })
    {
        settings.get().setValue ("filterState", text);
        EXPECT_EQ (stateOf (*makeHolder (&settings.get())->processor), defaults) << text;
    }

    // Without settings nothing is read or written.
    holder = makeHolder (nullptr);
    holder->savePluginState();
    EXPECT_EQ (holder->getLastFile(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
}

TEST (StateText, DecodesAsTheFrameworkDoesButRejectsCountsThatAreNoNumberOrTooLarge)
{
    const juce::String accepted[] = { "0.", "3.gI1X", " 3.gI1X", "3.gI 1X", "3.g,I1X\n", "2.gI1X", "1.g.", "3.gI1X..",
                                      makeBytes (100).toBase64Encoding() };
    const char* rejected[] = { "", "abc", "gI1X", ".gI1X", "-1.gI1X", "+3.gI1X", "x3.gI1X", "3x.gI1X",
                               "4.gI1X", "1.", "2000000000.gI1X", "99999999999999999999.gI1X", "3 .gI1X" };

    for (const auto& text : accepted)
    {
        juce::MemoryBlock ours, theirs;
        EXPECT_TRUE (StandalonePluginHolder::decodeStateText (text, ours)) << text;
        EXPECT_TRUE (theirs.fromBase64Encoding (text));
        EXPECT_EQ (ours, theirs) << text;
    }

    for (const auto* text : rejected)
    {
        juce::MemoryBlock block ("keep", 4);
        EXPECT_FALSE (StandalonePluginHolder::decodeStateText (text, block)) << "\"" << text << "\"";
        EXPECT_EQ (block, juce::MemoryBlock ("keep", 4)) << "\"" << text << "\"";
    }
}

//==============================================================================
TEST (PluginHolder, OpensAllSixteenChannelsFallingBackFromAMissingDeviceAndTheDialogOffersThemAll)
{
    TempSettings settings;
    settings.get().setValue ("audioSetup", "<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"gone\" audioInputDeviceName=\"gone\"/>");
    auto holder = makeHolder (&settings.get());
    holder->deviceManager.addAudioDeviceType (std::make_unique<FakeDeviceType>());
    holder->init (true, {});

    const auto expectChannels = [&] (int expected) {
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        ASSERT_NE (device, nullptr);
        EXPECT_EQ (device->getName(), "Fake");
        EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), expected);
        EXPECT_EQ (device->getActiveOutputChannels().countNumberOfSetBits(), expected);
    };

    expectChannels (16);
    holder->showAudioSettingsDialog();
    auto* dialog = findSettingsDialog();
    ASSERT_NE (dialog, nullptr);
    auto lists = findChildren<juce::ListBox> (*dialog);
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

TEST (SettingsDialog, OpensWithoutBlockingWithTheMuteToggleBoundBothWaysAndGoesWithItsHolder)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto other = makeHolder (nullptr);
    holder->showAudioSettingsDialog();
    other->showAudioSettingsDialog();

    auto* dialog = findSettingsDialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_TRUE (dialog->isCurrentlyModal (false));
    auto* toggle = findChild<juce::ToggleButton> (*dialog, [] (auto& b) { return b.getButtonText() == "Mute audio input"; });
    ASSERT_NE (toggle, nullptr);
    EXPECT_TRUE (toggle->getToggleState());

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

TEST (SettingsDialog, ContentIsAsHighAsTheSelectorWithTheToggleRowAbove)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());

    for (const auto feedbackPossible : { true, false })
    {
        holder->processorHasPotentialFeedbackLoop = feedbackPossible;
        StandalonePluginHolder::SettingsComponent content (*holder, holder->deviceManager, 16, 16);
        content.setSize (500, 550);
        content.setToRecommendedSize();
        auto* selector = findChildren<juce::AudioDeviceSelectorComponent> (content).getFirst();
        const auto extra = feedbackPossible ? 36 : 0;
        EXPECT_EQ (selector->getBounds(), juce::Rectangle<int> (0, extra, 500, content.getHeight() - extra));

        selector->setSize (500, selector->getHeight() + 100);
        EXPECT_EQ (content.getHeight(), selector->getHeight() + extra) << "follows the selector";
    }
}
