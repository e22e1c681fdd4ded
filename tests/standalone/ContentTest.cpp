#include "WindowTestFixture.h"

#include <gtest/gtest.h>

using juce::Rectangle;
using Content = juce::StandaloneFilterWindow::MainContentComponent;
using tarrowby::test::pumpMessagesUntil;
using tarrowby::test::TestWindow;

TEST (ContentComponent, TheMutedInputBarSitsAboveTheEditorAndGoesWithTheMuting)
{
    TestWindow t;
    auto* content = t.getContent();
    ASSERT_NE (content, nullptr);
    auto* editor = content->getEditor();
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (t.getHolder().processor->getActiveEditor(), editor);

    const auto expectLayout = [&] (bool barShown)
    {
        const auto bar = barShown ? 30 : 0;
        EXPECT_EQ (content->isShowingNotification(), barShown);
        EXPECT_EQ (content->getNotificationArea().isVisible(), barShown);
        EXPECT_EQ (content->getBounds().getWidth(), editor->getWidth());
        EXPECT_EQ (content->getHeight(), editor->getHeight() + bar);
        EXPECT_EQ (editor->getPosition(), juce::Point<int> (0, bar));

        const auto border = t.window->getContentComponentBorder();
        EXPECT_EQ (t.window->getHeight(), content->getHeight() + border.getTopAndBottom());
        EXPECT_EQ (t.window->getWidth(), content->getWidth() + border.getLeftAndRight());
    };

    expectLayout (true);
    EXPECT_EQ (content->getNotificationArea().getBounds(), Rectangle<int> (0, 0, editor->getWidth(), 30));

    t.getHolder().shouldMuteInput = false;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return ! content->isShowingNotification(); }, 2000));
    expectLayout (false);

    t.getHolder().shouldMuteInput = true;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return content->isShowingNotification(); }, 2000));
    expectLayout (true);

    // The content follows the editor's own size changes.
    editor->setSize (500, 320);
    EXPECT_EQ (content->getBounds().getWidth(), 500);
    EXPECT_EQ (editor->getBounds(), Rectangle<int> (0, 30, 500, 320));
    expectLayout (true);

    // Deleting the content clears the processor's active editor.
    t.window->clearContentComponent();
    EXPECT_EQ (t.getHolder().processor->getActiveEditor(), nullptr);

    // Without a possible feedback loop the bar never shows.
    t.getHolder().processorHasPotentialFeedbackLoop = false;
    t.window->setContentOwned (new Content (*t.window), true);
    content = t.getContent();
    EXPECT_FALSE (content->isShowingNotification());
    t.getHolder().shouldMuteInput = false;
    t.getHolder().shouldMuteInput = true;
    tarrowby::test::pumpMessages (50);
    EXPECT_FALSE (content->isShowingNotification());
    EXPECT_EQ (content->getHeight(), content->getEditor()->getHeight());
}

TEST (NotificationArea, LaysOutAndPaintsAYellowStripWithADarkBottomLine)
{
    struct Clicks : juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override { ++count; }
        int count = 0;
    } clicks;

    Content::NotificationArea bar (&clicks);
    EXPECT_EQ (bar.notificationLabel.getText(), "Audio input is muted to avoid feedback loop");
    EXPECT_EQ (bar.notificationLabel.findColour (juce::Label::textColourId), juce::Colours::black);
    EXPECT_EQ (bar.settingsButton.getButtonText(), "Settings...");

    bar.setSize (472, 30);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (397, 5, 70, 20));
    EXPECT_EQ (bar.notificationLabel.getBounds(), Rectangle<int> (5, 5, 392, 20));

    // Narrower than 80 pixels: the button takes everything, the label nothing, and nothing turns negative.
    bar.setSize (60, 30);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (5, 5, 50, 20));
    EXPECT_EQ (bar.notificationLabel.getWidth(), 0);
    bar.setSize (4, 4);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (5, 5, 0, 0));

    bar.settingsButton.triggerClick();
    pumpMessagesUntil ([&] { return clicks.count > 0; }, 1000);
    EXPECT_EQ (clicks.count, 1);

    for (const auto height : { 30, 1 }) // a bar one pixel high is only the line
    {
        bar.setSize (200, height);
        EXPECT_TRUE (bar.isOpaque());
        const auto image = bar.createComponentSnapshot (bar.getLocalBounds(), false, 1.0f);

        if (height > 1)
            EXPECT_EQ (image.getPixelAt (199, 28).getARGB(), 0xfffafad2u);

        for (const auto x : { 0, 100, 199 })
            EXPECT_EQ (image.getPixelAt (x, height - 1).getARGB(), 0xffb8860bu);
    }
}
