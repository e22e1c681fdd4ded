#include "DemoTaskbarComponent.h"
#include "WindowTestFixture.h"

#include <gtest/gtest.h>

using juce::Point;
using juce::Rectangle;
using tarrowby::test::TestWindow;

namespace
{
juce::Displays::Display makeDisplay (Rectangle<int> total, Rectangle<int> user, bool isMain)
{
    juce::Displays::Display d {};
    d.isMain = isMain;
    d.totalArea = total;
    d.userArea = user;
    d.scale = 1.0;
    d.dpi = 96.0;
    return d;
}

juce::Displays::Display makeDisplay (Rectangle<int> area, bool isMain = false)   { return makeDisplay (area, area, isMain); }

juce::Button* findOptionsButton (juce::Component& window)
{
    for (auto* child : window.getChildren())
        if (auto* b = dynamic_cast<juce::TextButton*> (child); b != nullptr && b->getButtonText() == "Options")
            return b;

    return nullptr;
}

float gainOf (juce::AudioProcessor& processor)
{
    for (auto* p : processor.getParameters())
        if (auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (p); withId != nullptr && withId->paramID == "gain")
            return p->getValue();

    return -1.0f;
}
} // namespace

TEST (WindowPlacement, CentredWithoutAStoredPositionElseClampedIntoTheDisplayOverlappingMost)
{
    // A 1920 x 1080 main display with a 25-pixel menu bar, and a 1280 x 1024 one to its right.
    const juce::Array<juce::Displays::Display> two { makeDisplay ({ 0, 0, 1920, 1080 }, { 0, 25, 1920, 1055 }, true),
                                                     makeDisplay ({ 1920, 0, 1280, 1024 }) };
    const Point<int> size { 474, 368 };

    struct Case { bool stored; Point<int> position, size; juce::Array<juce::Displays::Display> displays; Point<int> expected; };
    const Case cases[] = {
        { false, {}, size, two, { 960 - 237, 25 + 527 - 184 } },
        { false, {}, { 475, 369 }, { makeDisplay ({ -800, 0, 800, 600 }), makeDisplay ({ 0, 0, 1280, 800 }, true) }, { 640 - 237, 400 - 184 } },
        { true, { 100, 200 }, size, two, { 100, 200 } },                 // inside: kept
        { true, { 3000, 100 }, size, two, { 3200 - 474, 100 } },         // off the second display's right edge
        { true, { 10, 0 }, size, two, { 10, 25 } },                      // under the menu bar
        { true, { 10000, -5000 }, size, two, { 3200 - 474, 0 } },        // on no display: the last one
        { true, { 800, 100 }, { 400, 300 }, { makeDisplay ({ 0, 0, 1000, 1000 }, true), makeDisplay ({ 1000, 0, 1000, 1000 }) },
          { 1000, 100 } },                                               // a tie: the later display
        { true, { 50, 60 }, size, { makeDisplay ({ 0, 0, 400, 300 }, { 0, 20, 400, 280 }, true) }, { 0, 20 } }, // larger than the display
        { true, { 50, 60 }, { 100, 50 }, {}, { -50, -25 } },             // no displays
    };

    for (const auto& c : cases)
        EXPECT_EQ (tarrowby::getMainWindowPosition (c.stored, c.position, c.size, c.displays), c.expected) << &c - cases;
}

//==============================================================================
TEST (MainWindow, IsPlacedFromTheSettingsAndWritesItsPositionBack)
{
    const auto user = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;

    {
        TestWindow t ({ { "windowX", user.getX() + 3 }, { "windowY", user.getY() + 4 } });
        EXPECT_EQ (t.window->getPosition(), user.getPosition() + Point<int> (3, 4));

        t.window->setTopLeftPosition (user.getX() + 7, user.getY() + 9);
        t.window = nullptr;
        EXPECT_EQ (t.settings->getIntValue ("windowX"), user.getX() + 7);
        EXPECT_EQ (t.settings->getIntValue ("windowY"), user.getY() + 9);
    }

    // Only one of the two keys, or the "unset" value: centred.
    for (const auto& values : { std::map<juce::String, juce::var> { { "windowX", 5 } },
                                std::map<juce::String, juce::var> { { "windowX", 5 }, { "windowY", -100 } } })
    {
        TestWindow t (values);
        EXPECT_EQ (t.window->getPosition(), user.getCentre() - Point<int> (t.window->getWidth() / 2, t.window->getHeight() / 2));
    }
}

TEST (MainWindow, OptionsButtonSitsInTheTitleBarAndTheMenuIgnoresBadResults)
{
    TestWindow t ({ { "filterState", juce::var ("unchanged") } });
    auto* options = findOptionsButton (*t.window);
    ASSERT_NE (options, nullptr);
    EXPECT_EQ (options->getBounds(), Rectangle<int> (8, 6, 60, 18));

    auto* processor = t.getHolder().processor.get();
    auto* content = t.getContent();

    for (const auto result : { 0, -1, 5, 1000 })
        juce::StandaloneFilterWindow::menuCallback (result, t.window.get());

    juce::StandaloneFilterWindow::menuCallback (4, nullptr);
    tarrowby::test::pumpMessages (20);

    EXPECT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 0);
    EXPECT_EQ (t.getHolder().processor.get(), processor);
    EXPECT_EQ (t.getContent(), content);
    EXPECT_EQ (t.settings->getValue ("filterState"), "unchanged");

    juce::StandaloneFilterWindow::menuCallback (1, t.window.get());
    EXPECT_TRUE (tarrowby::test::pumpMessagesUntil ([] { return juce::ModalComponentManager::getInstance()->getNumModalComponents() == 1; }, 2000))
        << "item 1 opens the settings dialog";
}

TEST (MainWindow, ResetReplacesProcessorAndEditorAndForgetsTheSavedState)
{
    TestWindow t ({ { "filterState", juce::var ("something") }, { "lastStateFile", juce::var ("/tmp/x") } });
    auto& holder = t.getHolder();
    const auto defaultGain = gainOf (*holder.processor);
    holder.processor->getParameters()[0]->setValueNotifyingHost (0.25f);
    const auto bounds = t.window->getBounds();

    juce::StandaloneFilterWindow::menuCallback (4, t.window.get());

    EXPECT_FALSE (t.settings->containsKey ("filterState"));
    EXPECT_EQ (t.settings->getValue ("lastStateFile"), "/tmp/x");
    ASSERT_NE (holder.processor, nullptr);
    EXPECT_EQ (gainOf (*holder.processor), defaultGain);

    auto* content = t.getContent();
    ASSERT_NE (content, nullptr);
    ASSERT_NE (content->getEditor(), nullptr);
    EXPECT_EQ (holder.processor->getActiveEditor(), content->getEditor());
    EXPECT_TRUE (content->isShowingNotification()) << "input is still muted";
    EXPECT_EQ (t.window->getBounds(), bounds);

    // Also without settings.
    juce::StandaloneFilterWindow bare ("Tarrowby", juce::Colours::darkgrey, nullptr, false, {}, nullptr, { juce::StandalonePluginHolder::PluginInOuts { 16, 16 } }, false);
    bare.resetToDefaultState();
    EXPECT_NE (bare.getPluginHolder()->processor, nullptr);
}

//==============================================================================
TEST (ImageAssets, ComeFromTheResourcesFolderOrTheBuildTimeOneAndAreCached)
{
    // A scratch folder laid out like an installed application: <root>/Contents/MacOS/<exe>.
    const auto root = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tarrowby-tray-test", {});
    const auto executable = root.getChildFile ("Contents/MacOS/Tarrowby");
    ASSERT_TRUE (executable.getParentDirectory().createDirectory());

    const auto buildTime = tarrowby::getAssetsFolderForExecutable (executable);
    EXPECT_EQ (buildTime.getFileName(), "Assets");
    EXPECT_TRUE (buildTime.getChildFile ("logo_icon.png").existsAsFile());
    EXPECT_TRUE (buildTime.getChildFile ("logo_icon_template.png").existsAsFile());

    const auto resources = root.getChildFile ("Contents/Resources");
    ASSERT_TRUE (resources.createDirectory());
    EXPECT_EQ (tarrowby::getAssetsFolderForExecutable (executable), resources) << "wins even when empty";
    root.deleteRecursively();

    const auto first = juce::getImageFromAssets ("logo_icon.png");
    ASSERT_TRUE (first.isValid());
    EXPECT_EQ (juce::getImageFromAssets ("logo_icon.png").getPixelData(), first.getPixelData()) << "not decoded twice";
    EXPECT_EQ (juce::ImageCache::getFromHashCode (juce::String ("logo_icon.png@juce_demo_assets").hashCode64()).getPixelData(),
               first.getPixelData());
    EXPECT_TRUE (juce::getImageFromAssets ("logo_icon_template.png").isValid());
    EXPECT_FALSE (juce::getImageFromAssets ("no_such_icon.png").isValid());
}

TEST (TrayIcon, ClicksWithAnyButtonToggleTheWindow)
{
    TestWindow t;
    t.window->setVisible (true);
    juce::DemoTaskbarComponent tray (*t.window);
    EXPECT_TRUE (tray.isOnDesktop());
    const auto position = t.window->getPosition();

    for (const int modifiers : { (int) juce::ModifierKeys::leftButtonModifier, (int) juce::ModifierKeys::rightButtonModifier, 0 })
    {
        const auto wasVisible = t.window->isVisible();
        const auto now = juce::Time::getCurrentTime();
        tray.mouseDown (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, juce::ModifierKeys (modifiers),
                                          0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &tray, &tray, now, {}, now, 1, false));
        EXPECT_NE (t.window->isVisible(), wasVisible) << modifiers;
        EXPECT_EQ (t.window->getPosition(), position);
    }

    EXPECT_NE (t.getHolder().processor, nullptr) << "hidden, the application keeps running";
}
