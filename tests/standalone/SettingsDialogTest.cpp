#include "HostTestSupport.h"
#include "SettingsComponent.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
juce::ToggleButton* findMuteToggle (juce::Component& c)
{
    return findChild<juce::ToggleButton> (c, [] (auto& b) { return b.getButtonText() == "Mute audio input"; });
}

juce::DialogWindow* findDialog()    { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings"); }
} // namespace

TEST (SettingsDialog, OpensWithoutBlockingWithTheMuteToggleBoundBothWays)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    holder->showAudioSettingsDialog();

    auto* dialog = findDialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_TRUE (dialog->isCurrentlyModal());
    EXPECT_FALSE (dialog->isResizable());
    auto* toggle = findMuteToggle (*dialog);
    ASSERT_NE (toggle, nullptr);
    EXPECT_TRUE (toggle->getToggleState());

    toggle->triggerClick();
    ASSERT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));
    EXPECT_FALSE ((bool) holder->shouldMuteInput.getValue());

    holder->shouldMuteInput = true;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return toggle->getToggleState() && holder->muteInput.load(); }, 2000));

    // The toggle row keeps its proportions at whatever width the window gives the content.
    auto* content = dialog->getContentComponent();
    const auto w = content->getWidth();
    EXPECT_EQ (toggle->getBounds(), juce::Rectangle<int> ((int) ((float) w * 0.35f), 12, (int) ((float) w * 0.6f), 24));

    static_cast<juce::Component*> (dialog)->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    EXPECT_TRUE (pumpMessagesUntil ([] { return findDialog() == nullptr; }, 2000)) << "Escape closes it";
}

TEST (SettingsDialog, RecommendedSizeIsTheSelectorsWithTheToggleRowAbove)
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
        ASSERT_NE (selector, nullptr);
        const auto extra = feedbackPossible ? 36 : 0;
        EXPECT_EQ (content.getWidth(), 500);
        EXPECT_EQ (content.getHeight(), selector->getHeight() + extra);
        EXPECT_EQ (selector->getBounds(), juce::Rectangle<int> (0, extra, 500, selector->getHeight()));

        auto* toggle = findMuteToggle (content);
        ASSERT_EQ (toggle != nullptr, feedbackPossible);

        if (toggle != nullptr)
        {
            EXPECT_EQ (toggle->getBounds(), juce::Rectangle<int> (175, 12, 300, 24));
            auto* label = findChild<juce::Label> (content, [] (auto& l) { return l.getText() == "Feedback Loop:"; });
            ASSERT_NE (label, nullptr);
            EXPECT_EQ (label->getAttachedComponent(), toggle);
            EXPECT_TRUE (label->isAttachedOnLeft());
        }

        // The content follows the selector's height.
        selector->setSize (500, selector->getHeight() + 100);
        EXPECT_EQ (content.getHeight(), selector->getHeight() + extra);
    }
}

TEST (SettingsDialog, ClosesWhenItsHolderGoesFirst)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto other = makeHolder (nullptr);
    holder->showAudioSettingsDialog();
    other->showAudioSettingsDialog();
    ASSERT_NE (findDialog(), nullptr);

    holder.reset();
    other.reset();
    EXPECT_EQ (findDialog(), nullptr);
    pumpMessages (50);
}
