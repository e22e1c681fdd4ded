#include "DemoTaskbarComponent.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace tarrowby::test;
using juce::Point;
using juce::StandaloneFilterWindow;

namespace
{
/** A main window as the application builds it (16 inputs, 16 outputs) on settings of its own. */
struct TestWindow
{
    explicit TestWindow (const std::map<juce::String, juce::var>& initialSettings = {})
    {
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Standalone;

        for (const auto& [key, value] : initialSettings)
            settings.get().setValue (key, value);

        window = std::make_unique<StandaloneFilterWindow> ("Tarrowby", juce::Colours::darkgrey, &settings.get(), false, juce::String(), nullptr, juce::Array<juce::StandalonePluginHolder::PluginInOuts> { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } });
    }

    ~TestWindow() { closeModalWindows(); }
    auto* getContent() const { return dynamic_cast<StandaloneFilterWindow::MainContentComponent*> (window->getContentComponent()); }
    auto& getHolder() const { return *window->getPluginHolder(); }

    TempSettings settings;
    std::unique_ptr<StandaloneFilterWindow> window;
};
} // namespace

TEST (WindowPlacement, CentredWithoutAStoredPositionElseClampedIntoTheDisplayOverlappingMost)
{
    const auto display = [] (juce::Rectangle<int> total, bool isMain = false, int menuBar = 0) {
        juce::Displays::Display d {};
        d.isMain = isMain;
        d.totalArea = total;
        d.userArea = total.withTrimmedTop (menuBar);
        d.scale = 1.0;
        return d;
    };

    // A 1920 x 1080 main display with a 25-pixel menu bar, and a 1280 x 1024 one to its right.
    const juce::Array<juce::Displays::Display> two { display ({ 0, 0, 1920, 1080 }, true, 25), display ({ 1920, 0, 1280, 1024 }) };
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
        { false, {}, { 475, 369 }, { display ({ -800, 0, 800, 600 }), display ({ 0, 0, 1280, 800 }, true) }, { 640 - 237, 400 - 184 } },
        { true, { 100, 200 }, size, two, { 100, 200 } },
        { true, { 3000, 100 }, size, two, { 3200 - 474, 100 } }, // off the second display's right edge
        { true, { 10, 0 }, size, two, { 10, 25 } }, // under the menu bar
        { true, { 10000, -5000 }, size, two, { 3200 - 474, 0 } }, // on no display: the last one
        { true, { 800, 100 }, { 400, 300 }, { display ({ 0, 0, 1000, 1000 }, true), display ({ 1000, 0, 1000, 1000 }) }, { 1000, 100 } }, // a tie: the later display
        { true, { 50, 60 }, size, { display ({ 0, 0, 400, 300 }, true, 20) }, { 0, 20 } }, // larger than the display
    };

    for (const auto& c : cases)
        EXPECT_EQ (tarrowby::getMainWindowPosition (c.stored, c.position, c.size, c.displays), c.expected) << &c - cases;

    // Only one of the two stored keys, or the "unset" value: centred.
    const auto user = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;

    for (const auto& values : { std::map<juce::String, juce::var> { { "windowX", 5 } }, std::map<juce::String, juce::var> { { "windowX", 5 }, { "windowY", -100 } } })
        EXPECT_EQ (TestWindow (values).window->getBounds().getCentre(), user.getCentre());
}

TEST (MainWindow, TheMutedInputBarSitsAboveTheEditorWhileTheInputIsMutedAndOpensTheSettings)
{
    TestWindow t;
    auto* content = t.getContent();

    for (const auto muted : { false, true })
    {
        t.getHolder().shouldMuteInput = muted;
        ASSERT_TRUE (pumpMessagesUntil ([&] { return content->isShowingNotification() == muted; }, 2000));
        content->getEditor()->setSize (500, muted ? 320 : 300);
        EXPECT_EQ (content->getNotificationArea().isVisible(), muted);
        EXPECT_EQ (content->getEditor()->getY(), muted ? 30 : 0);
        EXPECT_EQ (content->getHeight(), content->getEditor()->getBottom());
    }

    content->getNotificationArea().settingsButton.triggerClick();
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings") != nullptr; }, 2000));
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
        { 5, nullptr, false },
    };

    for (const auto& c : cases)
    {
        TestWindow t (std::map<juce::String, juce::var> { { "filterState", "saved" } });
        t.getHolder().processor->getParameters()[0]->setValueNotifyingHost (0.25f);
        StandaloneFilterWindow::menuCallback (c.result, t.window.get());
        StandaloneFilterWindow::menuCallback (c.result, nullptr);
        pumpMessages (20);

        auto* modal = juce::ModalComponentManager::getInstance()->getModalComponent (0);
        EXPECT_EQ (modal != nullptr ? modal->getName() : juce::String(), juce::String (c.dialog)) << c.result;
        EXPECT_EQ (t.getHolder().processor->getParameters()[0]->getValue() != 0.25f, c.resets) << c.result;
        EXPECT_EQ (t.settings.get().containsKey ("filterState"), ! c.resets) << c.result;
        EXPECT_EQ (t.getHolder().processor->getActiveEditor(), t.getContent()->getEditor()) << c.result;
    }
}

TEST (TrayIcon, AClickTogglesTheWindowAndItsImagesComeFromTheAssetsFolder)
{
    TestWindow t;
    t.window->setVisible (true);
    juce::DemoTaskbarComponent tray (*t.window);

    for (const auto visible : { false, true })
    {
        const auto now = juce::Time::getCurrentTime();
        tray.mouseDown (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &tray, &tray, now, {}, now, 1, false));
        EXPECT_EQ (t.window->isVisible(), visible);
    }

    // An installed application's "Resources" folder, else the build-time one.
    const auto root = t.settings.folder.getChildFile ("app");
    const auto executable = root.getChildFile ("Contents/MacOS/Tarrowby");
    EXPECT_TRUE (tarrowby::getAssetsFolderForExecutable (executable).getChildFile ("logo_icon_template.png").existsAsFile());
    ASSERT_TRUE (root.getChildFile ("Contents/Resources").createDirectory());
    EXPECT_EQ (tarrowby::getAssetsFolderForExecutable (executable), root.getChildFile ("Contents/Resources"));
    const auto image = juce::getImageFromAssets ("logo_icon.png");
    EXPECT_TRUE (image.isValid());
    EXPECT_EQ (juce::getImageFromAssets ("logo_icon.png").getPixelData(), image.getPixelData()) << "cached";
}
