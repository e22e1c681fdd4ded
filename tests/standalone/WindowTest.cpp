#include "DemoTaskbarComponent.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::Point;
using juce::Rectangle;
using juce::StandaloneFilterWindow;

namespace
{
juce::Displays::Display makeDisplay (Rectangle<int> total, bool isMain = false, int menuBar = 0)
{
    juce::Displays::Display d {};
    d.isMain = isMain;
    d.totalArea = total;
    d.userArea = total.withTrimmedTop (menuBar);
    d.scale = 1.0;
    return d;
}
} // namespace

TEST (WindowPlacement, CentredWithoutAStoredPositionElseClampedIntoTheDisplayOverlappingMost)
{
    // A 1920 x 1080 main display with a 25-pixel menu bar, and a 1280 x 1024 one to its right.
    const juce::Array<juce::Displays::Display> two { makeDisplay ({ 0, 0, 1920, 1080 }, true, 25), makeDisplay ({ 1920, 0, 1280, 1024 }) };
    const Point<int> size { 474, 368 };

    struct Case
    {
        bool stored;
        Point<int> position, size;
        juce::Array<juce::Displays::Display> displays;
        Point<int> expected;
    };
    const Case cases[] = {
        { false, {}, size, two, { 960 - 237, 25 + 527 - 184 } },
        { false, {}, { 475, 369 }, { makeDisplay ({ -800, 0, 800, 600 }), makeDisplay ({ 0, 0, 1280, 800 }, true) }, { 640 - 237, 400 - 184 } },
        { true, { 100, 200 }, size, two, { 100, 200 } }, // inside: kept
        { true, { 3000, 100 }, size, two, { 3200 - 474, 100 } }, // off the second display's right edge
        { true, { 10, 0 }, size, two, { 10, 25 } }, // under the menu bar
        { true, { 10000, -5000 }, size, two, { 3200 - 474, 0 } }, // on no display: the last one
        { true, { 800, 100 }, { 400, 300 }, { makeDisplay ({ 0, 0, 1000, 1000 }, true), makeDisplay ({ 1000, 0, 1000, 1000 }) }, { 1000, 100 } }, // a tie: the later display
        { true, { 50, 60 }, size, { makeDisplay ({ 0, 0, 400, 300 }, true, 20) }, { 0, 20 } }, // larger than the display
        { true, { 50, 60 }, { 100, 50 }, {}, { -50, -25 } }, // no displays
    };

    for (const auto& c : cases)
        EXPECT_EQ (tarrowby::getMainWindowPosition (c.stored, c.position, c.size, c.displays), c.expected) << &c - cases;
}

TEST (MainWindow, IsPlacedFromTheSettingsAndWritesItsPositionBack)
{
    const auto user = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;

    {
        TestWindow t ({ { "windowX", user.getX() + 3 }, { "windowY", user.getY() + 4 } });
        EXPECT_EQ (t.window->getPosition(), user.getPosition() + Point<int> (3, 4));
        t.window->setTopLeftPosition (user.getX() + 7, user.getY() + 9);
        t.window = nullptr;
        EXPECT_EQ (t.settings.get().getIntValue ("windowX"), user.getX() + 7);
        EXPECT_EQ (t.settings.get().getIntValue ("windowY"), user.getY() + 9);
    }

    // Only one of the two keys, or the "unset" value: centred.
    for (const auto& values : { std::map<juce::String, juce::var> { { "windowX", 5 } },
                                std::map<juce::String, juce::var> { { "windowX", 5 }, { "windowY", -100 } } })
    {
        TestWindow t (values);
        EXPECT_EQ (t.window->getBounds().getCentre(), user.getCentre());
    }
}

TEST (MainWindow, TheMutedInputBarSitsAboveTheEditorWhileTheInputIsMuted)
{
    TestWindow t;
    auto* content = t.getContent();
    auto* editor = content->getEditor();
    ASSERT_NE (editor, nullptr);

    const auto expectLayout = [&] (bool barShown) {
        const auto bar = barShown ? 30 : 0;
        EXPECT_EQ (content->getNotificationArea().isVisible(), barShown);
        EXPECT_EQ (content->getNotificationArea().getHeight(), 30);
        EXPECT_EQ (content->getBounds().withZeroOrigin(), Rectangle<int> (editor->getWidth(), editor->getHeight() + bar));
        EXPECT_EQ (editor->getPosition(), Point<int> (0, bar));
        EXPECT_EQ (t.window->getHeight(), content->getHeight() + t.window->getContentComponentBorder().getTopAndBottom());
    };

    expectLayout (true);

    for (const auto muted : { false, true })
    {
        t.getHolder().shouldMuteInput = muted;
        ASSERT_TRUE (pumpMessagesUntil ([&] { return content->isShowingNotification() == muted; }, 2000));
        expectLayout (muted);
    }

    editor->setSize (500, 320);
    expectLayout (true);

    // The bar's button opens the settings.
    content->getNotificationArea().settingsButton.triggerClick();
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings") != nullptr; }, 2000));
    closeModalWindows();

    // Without a possible feedback loop the bar never shows.
    t.getHolder().processorHasPotentialFeedbackLoop = false;
    t.window->clearContentComponent();
    EXPECT_EQ (t.getHolder().processor->getActiveEditor(), nullptr);
    t.window->setContentOwned (new StandaloneFilterWindow::MainContentComponent (*t.window), true);
    content = t.getContent();
    t.getHolder().shouldMuteInput = false;
    t.getHolder().shouldMuteInput = true;
    pumpMessages (50);
    EXPECT_FALSE (content->isShowingNotification());
    EXPECT_EQ (content->getHeight(), content->getEditor()->getHeight());
}

TEST (MainWindow, EveryOptionsMenuItemDoesItsOwnThingAndOtherResultsNothing)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be seen here";

    struct Case
    {
        int result;
        const char* dialog;
        bool resets;
    };
    const Case cases[] = {
        { 1, "Audio/MIDI Settings", false },
        { 2, "Save current state", false },
        { 3, "Load a saved state", false },
        { 4, nullptr, true },
        { 0, nullptr, false },
        { -1, nullptr, false },
        { 5, nullptr, false },
    };

    for (const auto& c : cases)
    {
        TestWindow t ({ { "filterState", "saved" }, { "lastStateFile", "/tmp/x" } });
        auto& holder = t.getHolder();
        holder.processor->getParameters()[0]->setValueNotifyingHost (0.25f);
        const auto bounds = t.window->getBounds();

        StandaloneFilterWindow::menuCallback (c.result, t.window.get());
        StandaloneFilterWindow::menuCallback (c.result, nullptr);
        pumpMessages (20);

        auto* modal = juce::ModalComponentManager::getInstance()->getModalComponent (0);
        EXPECT_EQ (modal != nullptr ? modal->getName() : juce::String(), juce::String (c.dialog)) << c.result;
        EXPECT_EQ (holder.processor->getParameters()[0]->getValue() == 0.25f, ! c.resets) << c.result;
        EXPECT_EQ (t.settings.get().containsKey ("filterState"), ! c.resets) << c.result;
        EXPECT_EQ (t.settings.get().getValue ("lastStateFile"), "/tmp/x");
        EXPECT_EQ (t.window->getBounds(), bounds);

        // After a reset too: the processor's own editor, and the input still muted.
        ASSERT_NE (t.getContent()->getEditor(), nullptr);
        EXPECT_EQ (holder.processor->getActiveEditor(), t.getContent()->getEditor());
        EXPECT_TRUE (t.getContent()->isShowingNotification());
    }
}

//==============================================================================
TEST (TrayIcon, AClickTogglesTheWindowAndItsImagesComeFromTheAssetsFolder)
{
    TestWindow t;
    t.window->setVisible (true);
    juce::DemoTaskbarComponent tray (*t.window);

    for (const auto visible : { false, true, false })
    {
        const auto now = juce::Time::getCurrentTime();
        tray.mouseDown (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                          &tray, &tray, now, {}, now, 1, false));
        EXPECT_EQ (t.window->isVisible(), visible);
    }

    // An installed application's "Resources" folder, else the build-time one.
    const auto root = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tarrowby-tray-test", {});
    const auto executable = root.getChildFile ("Contents/MacOS/Tarrowby");
    ASSERT_TRUE (executable.getParentDirectory().createDirectory());
    EXPECT_TRUE (tarrowby::getAssetsFolderForExecutable (executable).getChildFile ("logo_icon_template.png").existsAsFile());
    ASSERT_TRUE (root.getChildFile ("Contents/Resources").createDirectory());
    EXPECT_EQ (tarrowby::getAssetsFolderForExecutable (executable), root.getChildFile ("Contents/Resources"));
    root.deleteRecursively();

    const auto image = juce::getImageFromAssets ("logo_icon.png");
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (juce::getImageFromAssets ("logo_icon.png").getPixelData(), image.getPixelData()) << "cached";
    EXPECT_FALSE (juce::getImageFromAssets ("no_such_icon.png").isValid());
}
