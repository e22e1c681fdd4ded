#include "DemoTaskbarComponent.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace tarrowby::test;
using juce::Point;
using juce::StandaloneFilterWindow;

namespace
{
/** The application as the entry point makes it, with HOME in a folder of its own holding the given settings, and the main window it builds. */
struct TestApp
{
    explicit TestApp (const std::map<juce::String, juce::var>& initialSettings = {})
    {
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Undefined;
        home.createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        {
            juce::PropertiesFile settings (juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
            for (const auto& [key, value] : initialSettings)
                settings.setValue (key, value);
        }
        // The framework allows an application object only in a process that names a way to make one.
        juce::JUCEApplicationBase::createInstance = [] { return (juce::JUCEApplicationBase*) nullptr; };
        app = std::make_unique<juce::StandaloneFilterApp>();
        juce::JUCEApplicationBase::createInstance = nullptr;
        window.reset (app->createWindow());
    }

    ~TestApp()
    {
        closeModalWindows(), window.reset(), app.reset();
        setenv ("HOME", previousHome.toRawUTF8(), 1), home.deleteRecursively();
    }

    auto* getContent() const { return dynamic_cast<StandaloneFilterWindow::MainContentComponent*> (window->getContentComponent()); }
    auto& getHolder() const { return *window->getPluginHolder(); }

    const juce::String previousHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});
    juce::File home { juce::File::createTempFile ("tarrowby-app-test") };
    std::unique_ptr<juce::StandaloneFilterApp> app;
    std::unique_ptr<StandaloneFilterWindow> window;
};

/** Opens the Options menu with its button and returns the menu. */
juce::Component* openOptionsMenu (StandaloneFilterWindow& window)
{
    for (auto* child : window.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child); button != nullptr && button->getButtonText() == "Options")
            button->triggerClick();

    pumpMessagesUntil ([] { return juce::ModalComponentManager::getInstance()->getNumModalComponents() > 0; }, 2000);
    return juce::ModalComponentManager::getInstance()->getModalComponent (0);
}

/** Picks the menu's item after the given number of down-key presses with the return key. */
void pickWithKeys (juce::Component* menu, int downPresses)
{
    ASSERT_NE (menu, nullptr) << "no menu";

    for (int i = 0; i < downPresses; ++i)
        menu->keyPressed (juce::KeyPress (juce::KeyPress::downKey));

    menu->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    pumpMessages (50);
}
} // namespace

TEST (WindowPlacement, CentredWithoutAStoredPositionElseClampedIntoTheDisplayOverlappingMost)
{
    const auto display = [] (juce::Rectangle<int> total, bool isMain = false, int menuBar = 0) { return juce::Displays::Display { isMain, total, total.withTrimmedTop (menuBar), {}, {}, {}, 1.0 }; };
    // A 1920 x 1080 main display with a 25-pixel menu bar, and a 1280 x 1024 one to its right; stored or not, position, size, displays, expected.
    const juce::Array<juce::Displays::Display> two { display ({ 0, 0, 1920, 1080 }, true, 25), display ({ 1920, 0, 1280, 1024 }) };
    const Point<int> size { 474, 368 };
    const std::tuple<bool, Point<int>, Point<int>, juce::Array<juce::Displays::Display>, Point<int>> cases[] = {
        { false, {}, size, two, { 960 - 237, 25 + 527 - 184 } },
        { false, {}, { 475, 369 }, { display ({ -800, 0, 800, 600 }), display ({ 0, 0, 1280, 800 }, true) }, { 640 - 237, 400 - 184 } },
        { true, { 100, 200 }, size, two, { 100, 200 } },
        { true, { 3000, 100 }, size, two, { 3200 - 474, 100 } }, // off the second display's right edge
        { true, { 10, 0 }, size, two, { 10, 25 } }, // under the menu bar
        { true, { 10000, -5000 }, size, two, { 3200 - 474, 0 } }, // on no display: the last one
        { true, { 800, 100 }, { 400, 300 }, { display ({ 0, 0, 1000, 1000 }, true), display ({ 1000, 0, 1000, 1000 }) }, { 1000, 100 } }, // a tie: the later display
        { true, { 50, 60 }, size, { display ({ 0, 0, 400, 300 }, true, 20) }, { 0, 20 } }, // larger than the display
    };
    for (const auto& [stored, position, windowSize, displays, expected] : cases)
        EXPECT_EQ (tarrowby::getMainWindowPosition (stored, position, windowSize, displays), expected) << position.toString() << ", " << windowSize.toString();
    // Only one of the two stored keys, or the "unset" value: centred.
    const auto user = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    for (const auto& values : { std::map<juce::String, juce::var> { { "windowX", 5 } }, std::map<juce::String, juce::var> { { "windowX", 5 }, { "windowY", -100 } } })
        EXPECT_EQ (TestApp (values).window->getBounds().getCentre(), user.getCentre());
}

TEST (Application, MarksItselfStandAloneAndBuildsTheWindowWithItsTrayIconAndTheMutedInputBarOverAnEditorItFollows)
{
    TestApp t;
    EXPECT_EQ (juce::PluginHostType::jucePlugInClientCurrentWrapperType, juce::AudioProcessor::wrapperType_Standalone);
    EXPECT_EQ (t.getHolder().processor->wrapperType, juce::AudioProcessor::wrapperType_Standalone);
    // At first start the input is muted and the bar shows above the editor, whose size the content follows.
    auto* content = t.getContent();
    ASSERT_TRUE (content->isShowingNotification());
    content->getEditor()->setSize (500, 320);
    EXPECT_EQ (content->getLocalBounds(), juce::Rectangle<int> (500, 350));
    // A click on the tray icon hides the window, and the next shows it again.
    auto* tray = dynamic_cast<juce::DemoTaskbarComponent*> (t.window->taskbarComponent.get());
    ASSERT_NE (tray, nullptr);
    t.window->setVisible (true);
    for (const auto visible : { false, true })
    {
        const auto now = juce::Time::getCurrentTime();
        tray->mouseDown (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, tray, tray, now, {}, now, 1, false));
        EXPECT_EQ (t.window->isVisible(), visible);
    }
    // Its images come from an installed application's "Resources" folder, else the build-time one.
    const auto root = t.home.getChildFile ("app");
    const auto executable = root.getChildFile ("Contents/MacOS/Tarrowby");
    EXPECT_TRUE (tarrowby::getAssetsFolderForExecutable (executable).getChildFile ("logo_icon_template.png").existsAsFile());
    ASSERT_TRUE (root.getChildFile ("Contents/Resources").createDirectory());
    EXPECT_EQ (tarrowby::getAssetsFolderForExecutable (executable), root.getChildFile ("Contents/Resources"));
    const auto image = juce::getImageFromAssets ("logo_icon.png");
    EXPECT_TRUE (image.isValid());
    EXPECT_EQ (juce::getImageFromAssets ("logo_icon.png").getPixelData(), image.getPixelData()) << "cached";
}

TEST (MainWindow, ResetFromTheOptionsMenuForgetsTheStoredStateAndAnItemPickedAfterTheWindowHasGoneDoesNothing)
{
    TestApp t (std::map<juce::String, juce::var> { { "filterState", "3.gI1X" } });
    auto& holder = t.getHolder();
    pickWithKeys (openOptionsMenu (*t.window), 4);
    EXPECT_FALSE (holder.userSettings->containsKey ("filterState"));
    EXPECT_EQ (holder.processor->getActiveEditor(), t.getContent()->getEditor());
    EXPECT_EQ (holder.processorPlayer.getCurrentProcessor(), holder.processor.get());
    // An item picked after the window has gone does nothing.
    auto* menu = openOptionsMenu (*t.window);
    t.window.reset();
    pickWithKeys (menu, 4);
}

TEST (MainWindow, SettingsSaveAndLoadFromTheOptionsMenuEachOpenOnlyTheirDialogAndCancelledChangeNothing)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be closed from here";
    // Down-key presses, the dialog the item opens.
    const std::pair<int, juce::String> cases[] = { { 1, "Audio/MIDI Settings" }, { 2, "Save current state" }, { 3, "Load a saved state" } };
    for (const auto& [presses, dialog] : cases)
    {
        // A stored state and a gain off its default, which a reset would both lose.
        TestApp t (std::map<juce::String, juce::var> { { "filterState", "3.gI1X" } });
        auto& holder = t.getHolder();
        const auto* processor = holder.processor.get();
        holder.processor->getParameters()[0]->setValueNotifyingHost (0.25f);
        const auto stateOf = [&] { juce::MemoryBlock state; holder.processor->getStateInformation (state); return std::string (static_cast<const char*> (state.getData()), state.getSize()); };
        const auto settingsOf = [&] { return holder.userSettings->getAllProperties().getDescription().toStdString(); };
        const auto state = stateOf(), settings = settingsOf();
        pickWithKeys (openOptionsMenu (*t.window), presses);
        auto& modal = *juce::ModalComponentManager::getInstance();
        EXPECT_EQ (modal.getNumModalComponents(), 1) << dialog;
        EXPECT_EQ (modal.getNumModalComponents() > 0 ? modal.getModalComponent (0)->getName() : juce::String(), dialog);
        closeModalWindows();
        EXPECT_EQ (holder.processor.get(), processor) << dialog;
        EXPECT_EQ (stateOf(), state) << dialog;
        EXPECT_EQ (settingsOf(), settings) << dialog;
    }
}
