#include "HostTestSupport.h"
#include "SettingsComponent.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
struct OpenDialog
{
    explicit OpenDialog (bool feedbackFlag = true)
        : holder (makeHolder (&settings.get()))
    {
        holder->processorHasPotentialFeedbackLoop = feedbackFlag;
        holder->showAudioSettingsDialog();
        dialog = findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings");

        if (dialog != nullptr)
        {
            content = dynamic_cast<StandalonePluginHolder::SettingsComponent*> (dialog->getContentComponent());
            selector = findChildren<juce::AudioDeviceSelectorComponent> (*content).getFirst();

            for (auto* button : findChildren<juce::ToggleButton> (*content))
                if (button->getButtonText() == "Mute audio input")
                    toggle = button;

            for (auto* label : findChildren<juce::Label> (*content))
                if (label->getText() == "Feedback Loop:")
                    muteLabel = label;
        }
    }

    ~OpenDialog()   { closeModalWindows(); }

    TempSettings settings;
    std::unique_ptr<StandalonePluginHolder> holder;
    juce::DialogWindow* dialog = nullptr;
    StandalonePluginHolder::SettingsComponent* content = nullptr;
    juce::AudioDeviceSelectorComponent* selector = nullptr;
    juce::ToggleButton* toggle = nullptr;
    juce::Label* muteLabel = nullptr;
};
} // namespace

TEST (SettingsDialog, LaunchesWithoutBlockingAsAFixedSizeDialog)
{
    OpenDialog open;
    ASSERT_NE (open.dialog, nullptr);
    ASSERT_NE (open.content, nullptr);

    EXPECT_TRUE (open.dialog->isCurrentlyModal());
    EXPECT_FALSE (open.dialog->isResizable());
    EXPECT_TRUE (open.dialog->isUsingNativeTitleBar());
    EXPECT_EQ (open.dialog->getBackgroundColour(),
               open.content->getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));
    EXPECT_TRUE (open.content->isOpaque());
}

TEST (SettingsDialog, EscapeClosesIt)
{
    OpenDialog open;
    ASSERT_NE (open.dialog, nullptr);

    static_cast<juce::Component*> (open.dialog)->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings") == nullptr; }, 2000));
}

TEST (SettingsDialog, LaysTheMuteToggleAboveTheSelector)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());

    // Built as the dialog builds it, before any window has a say in its size.
    StandalonePluginHolder::SettingsComponent content (*holder, holder->deviceManager, 16, 16);
    content.setSize (500, 550);
    content.setToRecommendedSize();

    auto* selector = findChildren<juce::AudioDeviceSelectorComponent> (content).getFirst();
    ASSERT_NE (selector, nullptr);
    ASSERT_EQ (selector->getItemHeight(), 24);

    juce::ToggleButton* toggle = nullptr;
    juce::Label* label = nullptr;

    for (auto* b : findChildren<juce::ToggleButton> (content))
        if (b->getButtonText() == "Mute audio input")
            toggle = b;

    for (auto* l : findChildren<juce::Label> (content))
        if (l->getText() == "Feedback Loop:")
            label = l;

    ASSERT_NE (toggle, nullptr);
    ASSERT_NE (label, nullptr);

    EXPECT_EQ (content.getWidth(), 500);
    EXPECT_EQ (content.getHeight(), selector->getHeight() + 36);
    EXPECT_EQ (toggle->getBounds(), juce::Rectangle<int> (175, 12, 300, 24));
    EXPECT_EQ (selector->getBounds(), juce::Rectangle<int> (0, 36, 500, selector->getHeight()));
    EXPECT_TRUE (toggle->isVisible());
    EXPECT_TRUE (label->isVisible());
    EXPECT_EQ (label->getAttachedComponent(), toggle);
    EXPECT_TRUE (label->isAttachedOnLeft());
    EXPECT_EQ (label->getName(), "Feedback Loop:");

    // The content follows the selector's height; the width stays.
    selector->setSize (500, selector->getHeight() + 100);
    EXPECT_EQ (content.getHeight(), selector->getHeight() + 36);
    EXPECT_EQ (content.getWidth(), 500);

    // In the dialog the same rule holds for whatever width the window gives it.
    OpenDialog open;
    ASSERT_NE (open.toggle, nullptr);
    const auto w = open.content->getWidth();
    EXPECT_EQ (open.toggle->getBounds(), juce::Rectangle<int> ((int) ((float) w * 0.35f), 12, (int) ((float) w * 0.6f), 24));
    EXPECT_EQ (open.selector->getPosition(), juce::Point<int> (0, 36));
    EXPECT_EQ (open.selector->getWidth(), w);
}

TEST (SettingsDialog, WithoutTheFeedbackFlagShowsOnlyTheSelector)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    holder->processorHasPotentialFeedbackLoop = false;

    StandalonePluginHolder::SettingsComponent content (*holder, holder->deviceManager, 16, 16);
    content.setSize (500, 550);
    content.setToRecommendedSize();

    auto* selector = findChildren<juce::AudioDeviceSelectorComponent> (content).getFirst();
    ASSERT_NE (selector, nullptr);

    for (auto* b : findChildren<juce::ToggleButton> (content))
        EXPECT_NE (b->getButtonText(), "Mute audio input");

    for (auto* l : findChildren<juce::Label> (content))
        EXPECT_NE (l->getText(), "Feedback Loop:");

    EXPECT_EQ (selector->getBounds(), content.getLocalBounds());
    EXPECT_EQ (content.getHeight(), selector->getHeight());
}

TEST (SettingsDialog, MuteToggleIsBoundBothWaysToTheHoldersSetting)
{
    OpenDialog open;
    ASSERT_NE (open.toggle, nullptr);
    EXPECT_TRUE (open.toggle->getToggleState());

    open.toggle->triggerClick();
    ASSERT_TRUE (pumpMessagesUntil ([&] { return ! open.holder->muteInput.load(); }, 2000));
    EXPECT_FALSE ((bool) open.holder->shouldMuteInput.getValue());

    open.holder->shouldMuteInput = true;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return open.toggle->getToggleState() && open.holder->muteInput.load(); }, 2000));
}

TEST (SettingsDialog, ClosesWhenItsHolderGoesFirst)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto other = makeHolder (nullptr);

    holder->showAudioSettingsDialog();
    other->showAudioSettingsDialog();

    juce::Component::SafePointer<juce::DialogWindow> dialog (findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings"));
    ASSERT_NE (dialog, nullptr);

    holder.reset();
    other.reset();
    EXPECT_EQ (findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings"), nullptr);
    pumpMessages (50);
}
