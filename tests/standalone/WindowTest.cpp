#include "WindowTestFixture.h"

#include <gtest/gtest.h>

using juce::Point;
using juce::Rectangle;

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

/** A 1920 x 1080 main display with a 25-pixel menu bar, and a 1280 x 1024 one to its right. */
juce::Array<juce::Displays::Display> twoDisplays()
{
    return { makeDisplay ({ 0, 0, 1920, 1080 }, { 0, 25, 1920, 1055 }, true),
             makeDisplay ({ 1920, 0, 1280, 1024 }, { 1920, 0, 1280, 1024 }, false) };
}

const Point<int> windowSize { 474, 368 };
} // namespace

TEST (WindowPlacement, withoutStoredPositionCentresOnPrimaryDisplaysUserArea)
{
    EXPECT_EQ (juce::getMainWindowPosition (false, {}, windowSize, twoDisplays()),
               Point<int> (960 - 237, 25 + 527 - 184));

    // The primary display need not come first.
    juce::Array<juce::Displays::Display> displays { makeDisplay ({ -800, 0, 800, 600 }, { -800, 0, 800, 600 }, false),
                                                    makeDisplay ({ 0, 0, 1280, 800 }, { 0, 0, 1280, 800 }, true) };
    EXPECT_EQ (juce::getMainWindowPosition (false, {}, { 475, 369 }, displays), Point<int> (640 - 237, 400 - 184));
}

TEST (WindowPlacement, storedPositionIsClampedIntoTheDisplayOverlappingMost)
{
    const auto displays = twoDisplays();

    // Fully inside: kept.
    EXPECT_EQ (juce::getMainWindowPosition (true, { 100, 200 }, windowSize, displays), Point<int> (100, 200));

    // Mostly on the second display, hanging off its right edge: pulled inside it.
    EXPECT_EQ (juce::getMainWindowPosition (true, { 3000, 100 }, windowSize, displays), Point<int> (3200 - 474, 100));

    // Under the menu bar of the main display.
    EXPECT_EQ (juce::getMainWindowPosition (true, { 10, 0 }, windowSize, displays), Point<int> (10, 25));
}

TEST (WindowPlacement, positionOnNoDisplayGoesToTheLastDisplay)
{
    EXPECT_EQ (juce::getMainWindowPosition (true, { 10000, -5000 }, windowSize, twoDisplays()),
               Point<int> (3200 - 474, 0));
}

TEST (WindowPlacement, equalOverlapGoesToTheLaterDisplay)
{
    juce::Array<juce::Displays::Display> displays { makeDisplay ({ 0, 0, 1000, 1000 }, { 0, 0, 1000, 1000 }, true),
                                                    makeDisplay ({ 1000, 0, 1000, 1000 }, { 1000, 0, 1000, 1000 }, false) };

    // Straddles the border half and half.
    EXPECT_EQ (juce::getMainWindowPosition (true, { 1000 - 200, 100 }, { 400, 300 }, displays), Point<int> (1000, 100));
}

TEST (WindowPlacement, windowLargerThanUserAreaSitsAtItsTopLeft)
{
    juce::Array<juce::Displays::Display> displays { makeDisplay ({ 0, 0, 400, 300 }, { 0, 20, 400, 280 }, true) };
    EXPECT_EQ (juce::getMainWindowPosition (true, { 50, 60 }, windowSize, displays), Point<int> (0, 20));
}

TEST (WindowPlacement, noDisplaysCentresOnTheOrigin)
{
    EXPECT_EQ (juce::getMainWindowPosition (true, { 50, 60 }, { 100, 50 }, {}), Point<int> (-50, -25));
}

//==============================================================================
TEST (MainWindow, isPlacedFromSettingsAndWritesItsPositionBack)
{
    const auto primary = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    ASSERT_NE (primary, nullptr);
    const auto user = primary->userArea;

    {
        tarrowby::test::TestWindow t ({ { "windowX", user.getX() + 3 }, { "windowY", user.getY() + 4 } });
        EXPECT_EQ (t.window->getPosition(), Point<int> (user.getX() + 3, user.getY() + 4));

        t.window->setTopLeftPosition (user.getX() + 7, user.getY() + 9);
        auto* settings = t.settings.get();
        t.window = nullptr;

        EXPECT_EQ ((int) settings->getIntValue ("windowX"), user.getX() + 7);
        EXPECT_EQ ((int) settings->getIntValue ("windowY"), user.getY() + 9);
    }

    // Only one of the two keys, or the "unset" value: centred.
    for (const auto& values : { std::map<juce::String, juce::var> { { "windowX", 5 } },
                                std::map<juce::String, juce::var> { { "windowX", 5 }, { "windowY", -100 } } })
    {
        tarrowby::test::TestWindow t (values);
        const auto w = t.window->getWidth();
        const auto h = t.window->getHeight();
        EXPECT_EQ (t.window->getPosition(),
                   Point<int> (user.getX() + user.getWidth() / 2 - w / 2, user.getY() + user.getHeight() / 2 - h / 2));
    }
}

TEST (MainWindow, optionsButtonSitsInTheTitleBar)
{
    tarrowby::test::TestWindow t;

    auto* options = [&]() -> juce::Button*
    {
        for (auto* child : t.window->getChildren())
            if (auto* b = dynamic_cast<juce::TextButton*> (child))
                if (b->getButtonText() == "Options")
                    return b;

        return nullptr;
    }();

    ASSERT_NE (options, nullptr);
    EXPECT_EQ (options->getBounds(), Rectangle<int> (8, 6, 60, 18));
    EXPECT_TRUE (options->isVisible());

    // In a very short window the button shrinks with the title bar, down to nothing.
    // (Without content, which would size the window back to the editor.)
    t.window->clearContentComponent();
    t.window->setSize (300, 20);
    EXPECT_EQ (options->getHeight(), 8);
    t.window->setSize (300, 10);
    EXPECT_EQ (options->getHeight(), 0);
}

TEST (MainWindow, menuCallbackIgnoresDismissalUnknownItemsAndDeletedWindows)
{
    tarrowby::test::TestWindow t ({ { "filterState", juce::var ("unchanged") } });
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
}

TEST (MainWindow, menuItemOneOpensTheSettingsDialog)
{
    tarrowby::test::TestWindow t;
    juce::StandaloneFilterWindow::menuCallback (1, t.window.get());

    EXPECT_TRUE (tarrowby::test::pumpMessagesUntil ([]
                 { return juce::ModalComponentManager::getInstance()->getNumModalComponents() == 1; }, 2000));
}

TEST (MainWindow, resetReplacesProcessorAndEditorAndForgetsSavedState)
{
    tarrowby::test::TestWindow t ({ { "filterState", juce::var ("something") }, { "lastStateFile", juce::var ("/tmp/x") } });
    auto& holder = t.getHolder();

    auto* gain = holder.processor->getParameters()[0];
    for (auto* p : holder.processor->getParameters())
        if (auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (p); withId != nullptr && withId->paramID == "gain")
            gain = p;

    const auto defaultGain = gain->getDefaultValue();
    gain->setValueNotifyingHost (0.25f);

    const auto position = t.window->getPosition();
    const auto size = t.window->getBounds().getHeight();
    auto* oldEditor = t.getContent()->getEditor();
    ASSERT_NE (oldEditor, nullptr);

    juce::StandaloneFilterWindow::menuCallback (4, t.window.get());

    EXPECT_FALSE (t.settings->containsKey ("filterState"));
    EXPECT_EQ (t.settings->getValue ("lastStateFile"), "/tmp/x");
    ASSERT_NE (holder.processor, nullptr);

    for (auto* p : holder.processor->getParameters())
        if (auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (p); withId != nullptr && withId->paramID == "gain")
            EXPECT_EQ (p->getValue(), defaultGain);

    auto* content = t.getContent();
    ASSERT_NE (content, nullptr);
    ASSERT_NE (content->getEditor(), nullptr);
    EXPECT_EQ (holder.processor->getActiveEditor(), content->getEditor());
    EXPECT_TRUE (content->isShowingNotification()) << "input is still muted";
    EXPECT_EQ (t.window->getPosition(), position);
    EXPECT_EQ (t.window->getHeight(), size);
    EXPECT_FALSE (t.window->isUsingNativeTitleBar());
}

TEST (MainWindow, resetWithoutSettingsStillWorks)
{
    juce::Array<juce::StandalonePluginHolder::PluginInOuts> channels;
    channels.add ({ 16, 16 });

    auto window = std::make_unique<juce::StandaloneFilterWindow> ("Tarrowby", juce::Colours::darkgrey, nullptr, false,
                                                                  juce::String(), nullptr, channels, false);
    window->resetToDefaultState();
    EXPECT_NE (window->getPluginHolder()->processor, nullptr);
    window = nullptr;
}
