#include "DemoTaskbarComponent.h"
#include "WindowTestFixture.h"

#include <gtest/gtest.h>

namespace
{
/** A scratch folder laid out like an installed application: <root>/Contents/MacOS/<exe>. */
struct FakeInstall
{
    FakeInstall()
    {
        root.createDirectory();
        executable.getParentDirectory().createDirectory();
    }

    ~FakeInstall() { root.deleteRecursively(); }

    juce::File root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile ("tarrowby-tray-test", {});
    juce::File executable = root.getChildFile ("Contents").getChildFile ("MacOS").getChildFile ("Tarrowby");
};

juce::MouseEvent clickOn (juce::Component& c, juce::ModifierKeys modifiers)
{
    const auto now = juce::Time::getCurrentTime();
    return { juce::Desktop::getInstance().getMainMouseSource(), {}, modifiers, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
             &c, &c, now, {}, now, 1, false };
}
} // namespace

TEST (ImageAssets, resourcesFolderBesideTheExecutableWinsEvenWhenEmpty)
{
    FakeInstall install;
    const auto resources = install.root.getChildFile ("Contents").getChildFile ("Resources");
    ASSERT_TRUE (resources.createDirectory());

    EXPECT_EQ (juce::getAssetsFolderForExecutable (install.executable), resources);
}

TEST (ImageAssets, withoutResourcesFolderTheBuildTimeFolderIsUsed)
{
    FakeInstall install;
    const auto folder = juce::getAssetsFolderForExecutable (install.executable);

    EXPECT_EQ (folder.getFileName(), "Assets");
    EXPECT_TRUE (folder.getChildFile ("logo_icon.png").existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("logo_icon_template.png").existsAsFile());
}

TEST (ImageAssets, imagesLoadOnceAndComeFromTheCache)
{
    const auto first = juce::getImageFromAssets ("logo_icon.png");
    ASSERT_TRUE (first.isValid());

    const auto second = juce::getImageFromAssets ("logo_icon.png");
    EXPECT_EQ (first.getPixelData(), second.getPixelData()) << "the same image, not a second decode";

    const auto cached = juce::ImageCache::getFromHashCode (juce::String ("logo_icon.png@juce_demo_assets").hashCode64());
    EXPECT_EQ (cached.getPixelData(), first.getPixelData());

    EXPECT_TRUE (juce::getImageFromAssets ("logo_icon_template.png").isValid());
}

TEST (ImageAssets, missingOrUndecodableFilesGiveNullImages)
{
    EXPECT_FALSE (juce::getImageFromAssets ("no_such_icon.png").isValid());
    EXPECT_FALSE (juce::ImageCache::getFromHashCode (juce::String ("no_such_icon.png@juce_demo_assets").hashCode64()).isValid());
}

TEST (TrayIcon, clicksToggleTheWindowWithAnyButton)
{
    tarrowby::test::TestWindow t;
    t.window->setVisible (true);

    juce::DemoTaskbarComponent tray (*t.window);
    EXPECT_TRUE (tray.isOnDesktop());

    tray.mouseDown (clickOn (tray, juce::ModifierKeys::leftButtonModifier));
    EXPECT_FALSE (t.window->isVisible());

    const auto position = t.window->getPosition();
    tray.mouseDown (clickOn (tray, juce::ModifierKeys::rightButtonModifier));
    EXPECT_TRUE (t.window->isVisible());
    EXPECT_EQ (t.window->getPosition(), position);

    // The application keeps running with the window hidden: the processor stays attached.
    tray.mouseDown (clickOn (tray, {}));
    EXPECT_FALSE (t.window->isVisible());
    EXPECT_NE (t.getHolder().processor, nullptr);
}
