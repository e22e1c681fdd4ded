#include "WindowTestFixture.h"

#include <gtest/gtest.h>

using juce::Rectangle;
using Content = juce::StandaloneFilterWindow::MainContentComponent;
using tarrowby::test::pumpMessagesUntil;
using tarrowby::test::TestWindow;

TEST (ContentComponent, mutedInputShowsTheBarAboveTheEditor)
{
    TestWindow t;
    auto* content = t.getContent();
    ASSERT_NE (content, nullptr);
    auto* editor = content->getEditor();
    ASSERT_NE (editor, nullptr);

    EXPECT_TRUE (content->isShowingNotification());
    EXPECT_TRUE (content->getNotificationArea().isVisible());
    EXPECT_EQ (content->getWidth(), editor->getWidth());
    EXPECT_EQ (content->getHeight(), editor->getHeight() + 30);
    EXPECT_EQ (content->getNotificationArea().getBounds(), Rectangle<int> (0, 0, editor->getWidth(), 30));
    EXPECT_EQ (editor->getPosition(), juce::Point<int> (0, 30));

    const auto border = t.window->getContentComponentBorder();
    EXPECT_EQ (t.window->getHeight(), content->getHeight() + border.getTopAndBottom());
    EXPECT_EQ (t.window->getWidth(), content->getWidth() + border.getLeftAndRight());

    // While shown, the editor is the processor's active editor.
    EXPECT_EQ (t.getHolder().processor->getActiveEditor(), editor);
}

TEST (ContentComponent, turningMutingOffAndOnHidesAndShowsTheBarAndResizesTheWindow)
{
    TestWindow t;
    auto* content = t.getContent();
    auto* editor = content->getEditor();
    const auto windowHeight = t.window->getHeight();

    t.getHolder().shouldMuteInput = false;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return ! content->isShowingNotification(); }, 2000));
    EXPECT_FALSE (content->getNotificationArea().isVisible());
    EXPECT_EQ (content->getHeight(), editor->getHeight());
    EXPECT_EQ (editor->getPosition(), juce::Point<int> (0, 0));
    EXPECT_EQ (t.window->getHeight(), windowHeight - 30);

    t.getHolder().shouldMuteInput = true;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return content->isShowingNotification(); }, 2000));
    EXPECT_EQ (content->getHeight(), editor->getHeight() + 30);
    EXPECT_EQ (t.window->getHeight(), windowHeight);
}

TEST (ContentComponent, withoutPossibleFeedbackTheBarNeverShows)
{
    TestWindow t;
    auto& holder = t.getHolder();

    t.window->clearContentComponent();
    holder.processorHasPotentialFeedbackLoop = false;
    t.window->setContentOwned (new Content (*t.window), true);

    auto* content = t.getContent();
    EXPECT_FALSE (content->isShowingNotification());
    EXPECT_EQ (content->getHeight(), content->getEditor()->getHeight());

    holder.shouldMuteInput = false;
    holder.shouldMuteInput = true;
    tarrowby::test::pumpMessages (50);
    EXPECT_FALSE (content->isShowingNotification());
}

TEST (ContentComponent, followsTheEditorsOwnSizeChanges)
{
    TestWindow t;
    auto* content = t.getContent();
    auto* editor = content->getEditor();

    editor->setSize (500, 320);
    EXPECT_EQ (content->getWidth(), 500);
    EXPECT_EQ (content->getHeight(), 350);
    EXPECT_EQ (editor->getBounds(), Rectangle<int> (0, 30, 500, 320));
}

TEST (ContentComponent, deletingTheContentClearsTheActiveEditor)
{
    TestWindow t;
    auto* processor = t.getHolder().processor.get();
    ASSERT_NE (processor->getActiveEditor(), nullptr);

    t.window->clearContentComponent();
    EXPECT_EQ (processor->getActiveEditor(), nullptr);
}

//==============================================================================
namespace
{
struct CountingListener : juce::Button::Listener
{
    void buttonClicked (juce::Button*) override { ++clicks; }
    int clicks = 0;
};
} // namespace

TEST (NotificationArea, laysOutLabelAndButton)
{
    CountingListener listener;
    Content::NotificationArea bar (&listener);

    EXPECT_TRUE (bar.isOpaque());
    EXPECT_EQ (bar.notificationLabel.getText(), "Audio input is muted to avoid feedback loop");
    EXPECT_EQ (bar.notificationLabel.getName(), "notification");
    EXPECT_EQ (bar.notificationLabel.findColour (juce::Label::textColourId), juce::Colours::black);
    EXPECT_EQ (bar.settingsButton.getButtonText(), "Settings...");

    bar.setSize (472, 30);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (397, 5, 70, 20));
    EXPECT_EQ (bar.notificationLabel.getBounds(), Rectangle<int> (5, 5, 392, 20));

    // Narrower than 80 pixels: the button takes everything, the label nothing.
    bar.setSize (60, 30);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (5, 5, 50, 20));
    EXPECT_EQ (bar.notificationLabel.getWidth(), 0);

    bar.setSize (4, 4);
    EXPECT_EQ (bar.settingsButton.getBounds(), Rectangle<int> (5, 5, 0, 0));

    bar.settingsButton.triggerClick();
    tarrowby::test::pumpMessagesUntil ([&] { return listener.clicks > 0; }, 1000);
    EXPECT_EQ (listener.clicks, 1);
}

TEST (NotificationArea, paintsAYellowStripWithADarkBottomLine)
{
    CountingListener listener;
    Content::NotificationArea bar (&listener);
    bar.setSize (200, 30);

    juce::Image image (juce::Image::ARGB, 200, 30, true);
    {
        juce::Graphics g (image);
        bar.paint (g);
    }

    EXPECT_EQ (image.getPixelAt (0, 0).getARGB(), 0xfffafad2u);
    EXPECT_EQ (image.getPixelAt (199, 28).getARGB(), 0xfffafad2u);

    for (const auto x : { 0, 100, 199 })
        EXPECT_EQ (image.getPixelAt (x, 29).getARGB(), 0xffb8860bu);

    // A bar one pixel high is only the line.
    bar.setSize (200, 1);
    juce::Image thin (juce::Image::ARGB, 200, 1, true);
    {
        juce::Graphics g (thin);
        bar.paint (g);
    }
    EXPECT_EQ (thin.getPixelAt (10, 0).getARGB(), 0xffb8860bu);
}
