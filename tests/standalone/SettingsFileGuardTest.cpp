#include "StandaloneFilterApp.h"

#include <gtest/gtest.h>

namespace
{
class SettingsFileGuard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("tarrowby-settings-guard", {}, false);
        ASSERT_TRUE (folder.createDirectory());
        file = folder.getChildFile ("Tarrowby.settings");
    }

    void TearDown() override { folder.deleteRecursively(); }

    juce::File folder, file;
};
} // namespace

TEST_F (SettingsFileGuard, KeepsReadableFilesAndSetsAsideThoseTheReaderCannotTake)
{
    EXPECT_FALSE (juce::StandaloneFilterApp::setAsideUnsafeSettingsFile (file)) << "no file";

    const char* readable[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PROPERTIES>\n  <VALUE name=\"windowX\" val=\"left\"/>\n</PROPERTIES>\n",
        "not xml at all",
        "",
    };

    for (const auto* text : readable)
    {
        ASSERT_TRUE (file.replaceWithText (text));
        EXPECT_FALSE (juce::StandaloneFilterApp::setAsideUnsafeSettingsFile (file)) << text;
        EXPECT_TRUE (file.existsAsFile());
    }

    const juce::String unsafe[] = {
        "<PROPERTIES><VALUE name=\"a\" val=\"1\"/><?loop?>x</PROPERTIES>", // loops the parser
        "PROP\x01\x00\x00\x00",                                         // binary form
        juce::String::repeatedString ("<PROPERTIES>", 5000),               // nests past the stack
    };

    for (const auto& text : unsafe)
    {
        ASSERT_TRUE (file.replaceWithText (text, false, false, nullptr));
        EXPECT_TRUE (juce::StandaloneFilterApp::setAsideUnsafeSettingsFile (file)) << text.substring (0, 40);
        EXPECT_FALSE (file.exists());
    }

    // Every unsafe file is kept beside, byte for byte.
    const auto kept = folder.findChildFiles (juce::File::findFiles, false, "*.unreadable");
    ASSERT_EQ (kept.size(), 3);
    EXPECT_EQ (folder.getChildFile ("Tarrowby.settings.unreadable").loadFileAsString(), unsafe[0]);

    // Invalid UTF-8 is set aside too.
    const char brokenUtf8[] = { '<', 'P', '>', '\xc3', '<', '/', 'P', '>' };
    ASSERT_TRUE (file.replaceWithData (brokenUtf8, sizeof (brokenUtf8)));
    EXPECT_TRUE (juce::StandaloneFilterApp::setAsideUnsafeSettingsFile (file));
}
