#include "TestSupport.h"
#include "SettingsFile.h"
#include <gtest/gtest.h>
#include <juce_data_structures/juce_data_structures.h>
#include <climits>
#include <functional>
#include <limits>

using SettingsFileCheck = guards::SettingsFile::Check;

namespace
{
const std::string compressed ("CPRP\x1f\x8b\x08\0", 8);
std::function<bool (const juce::File&)> text (const std::string& bytes)
{
    // Written in place: a temporary file's longer name may not fit beside it.
    return [bytes] (const juce::File& f) {
        juce::FileOutputStream out (f);
        return out.openedOk() && out.write (bytes.data(), bytes.size());
    };
}
std::string properties (const std::string& content) { return "<PROPERTIES>" + content + "</PROPERTIES>"; }
juce::String numbered (const juce::String& before, const char* after, int count)
{
    juce::String result;
    for (int i = 0; i < count; ++i)
        result << before << i << after;
    return result;
}
std::string value (const std::string& key, const std::string& text) { return "<VALUE name=\"" + key + "\" val=\"" + text + "\"/>"; }
std::string deviceSetup (const std::string& content) { return "<VALUE name=\"audioSetup\">" + content + "</VALUE>"; }
/** The program's largest values, as the framework saves them: quotes, each written as six bytes, wherever they may stand. */
std::function<bool (const juce::File&)> savedLargest()
{
    return [] (const juce::File& f) {
        const auto quotes = [] (int n) { return juce::String::repeatedString ("\"", n); };
        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        juce::PropertiesFile settings (f, options);
        juce::XmlElement setup ("DEVICESETUP");
        for (const auto* name : { "deviceType", "audioOutputDeviceName", "audioInputDeviceName", "audioDeviceRate", "audioDeviceBufferSize", "defaultMidiOutput", "defaultMidiOutputDevice" })
            setup.setAttribute (name, quotes (512));
        setup.setAttribute ("audioDeviceInChans", juce::String::repeatedString ("1", 4096)), setup.setAttribute ("audioDeviceOutChans", juce::String::repeatedString ("1", 4096));
        for (int i = 0; i < 128; ++i)
            setup.createNewChildElement ("MIDIINPUT")->setAttribute ("name", quotes (512)), setup.getChildElement (i)->setAttribute ("identifier", quotes (512));
        settings.setValue ("audioSetup", &setup);
        settings.setValue ("filterState", juce::MemoryBlock (1024 * 1024, true).toBase64Encoding());
        settings.setValue ("lastStateFile", "/" + quotes (4094));
        settings.setValue ("windowX", std::numeric_limits<int>::min()), settings.setValue ("windowY", std::numeric_limits<int>::min()), settings.setValue ("shouldMuteInput", true);
        for (int i = 0; i < 64; ++i)
            settings.setValue (quotes (252) + juce::String (1000 + i), quotes (1024));
        return settings.save() && f.getSize() < 4 * 1024 * 1024;
    };
}
/** The bytes of a regular file, else nothing. */
std::string bytesOf (const juce::File& f)
{
    juce::MemoryBlock bytes;
    if (f.existsAsFile())
        f.loadFileAsData (bytes);
    return bytes.isEmpty() ? std::string() : std::string (static_cast<const char*> (bytes.getData()), bytes.getSize());
}
struct SettingsFiles : ::testing::Test
{
    SettingsFiles() { folder.createDirectory(); }
    ~SettingsFiles() override { folder.deleteRecursively(); }
    const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tarrowby-untrusted-input", {}, false);
    const juce::File file = folder.getChildFile ("Tarrowby.settings"), aside = folder.getChildFile ("Tarrowby.settings.unreadable");
};
} // namespace

TEST_F (SettingsFiles, KeepsOnlyTheShapeTheProgramWritesAndSetsAsideAllElseAsItWas)
{
    const auto moved = SettingsFileCheck::setAside, kept = SettingsFileCheck::readable;
    const auto inChans = [] (int n) { return deviceSetup ("<DEVICESETUP deviceType=\"JACK\" audioDeviceInChans=\"" + std::string ((size_t) n, '1') + "\"/>"); };
    const std::tuple<const char*, std::function<bool (const juce::File&)>, SettingsFileCheck> cases[] = {
        { "absent", [] (auto&) { return true; }, kept },
        { "empty", text (""), kept },
        { "saved with the program's largest values", savedLargest(), kept },
        { "not xml", text ("not xml at all"), moved },
        { "other root", text ("<SETTINGS><VALUE name=\"a\" val=\"1\"/></SETTINGS>"), moved },
        { "a root attribute", text ("<PROPERTIES a=\"1\"/>"), moved },
        { "a root attribute cut in a reference by the first look", text ("<PROPERTIES a=\"" + std::string (8173, 'x') + "&#x41;\"><VALUE name=\"k\" val=\"1\"/></PROPERTIES>"), moved },
        { "an element after text in a value", text ("<PROPERTIES><VALUE name=\"k\"><a>x<b><c/></b></a></VALUE></PROPERTIES>"), moved },
        { "the same value as text", text (properties (value ("k", "&lt;a&gt;x&lt;b&gt;&lt;c/&gt;&lt;/b&gt;&lt;/a&gt;"))), moved },
        { "a long tag with wrapped attributes", text (properties (deviceSetup ("<" + std::string (8192, 'a') + numbered (" a", "=\"\"", 1000).toStdString() + "/>"))), moved },
        { "a name twice", text (properties (value ("windowX", "1") + value ("windowX", "2"))), moved },
        { "a device set-up", text (properties (inChans (4096))), kept },
        { "a channel mask of a million digits", text (properties (inChans (1000000))), moved },
        { "a channel mask of more channels than a device has", text (properties (inChans (4097))), moved },
        { "an attribute the framework does not write", text (properties (deviceSetup ("<DEVICESETUP x=\"1\"/>"))), moved },
        { "a set-up as text", text (properties (value ("audioSetup", "&lt;DEVICESETUP/&gt;"))), moved },
        { "a last state file named like XML", text (properties (value ("lastStateFile", "/x&lt;a&lt;?b.state"))), kept },
        { "a relative last state file", text (properties (value ("lastStateFile", "x.state"))), moved },
        { "a path longer than a path can be", text (properties (value ("lastStateFile", "/" + std::string (PATH_MAX - 1, 'x')))), moved },
        { "a state as the framework does not write it", text (properties (value ("filterState", " 3.gI1X"))), moved },
        { "a window position beyond an int", text (properties (value ("windowX", "2147483648"))), moved },
        { "input muting other than 0 or 1", text (properties (value ("shouldMuteInput", "true"))), moved },
        { "64 values the program does not write", text (properties (numbered ("<VALUE name=\"k", "\" val=\"x\"/>", 64).toStdString())), kept },
        { "65 of them", text (properties (numbered ("<VALUE name=\"k", "\" val=\"x\"/>", 65).toStdString())), moved },
        { "too large", text ("<PROPERTIES>" + std::string (4 * 1024 * 1024, ' ') + "</PROPERTIES>"), moved },
        { "compressed binary", text (compressed), moved },
        { "folder", [] (const juce::File& f) { return f.createDirectory().wasOk(); }, moved },
    };
    for (const auto& [what, make, expected] : cases)
    {
        ASSERT_TRUE (make (file)) << what;
        const auto before = bytesOf (file);
        EXPECT_EQ (guards::SettingsFile::setAsideUnreadable (file), expected) << what;
        if (expected == SettingsFileCheck::readable) // and the framework reads what is kept
            EXPECT_TRUE ((before.empty() || juce::PropertiesFile (file, {}).isValidFile()) && ! aside.exists()) << what;
        else // moved as it was
            EXPECT_TRUE (! file.exists() && bytesOf (aside) == before) << what;
        file.deleteRecursively();
        aside.deleteRecursively();
    }
}

TEST_F (SettingsFiles, APipeIsSetAsideWithoutWaitingForAWriterAndWhatCannotBeMovedIsLeftAsItWas)
{
    {
        tarrowby::test::TestFifo fifo (file);
        ASSERT_TRUE (fifo.made);
        EXPECT_EQ (guards::SettingsFile::setAsideUnreadable (file), SettingsFileCheck::setAside);
        EXPECT_FALSE (file.exists());
    }
    // No permission stops root; a name with no room left for the ".unreadable" suffix stops the move.
    const auto longName = folder.getChildFile (juce::String::repeatedString ("x", 250));
    ASSERT_TRUE (text (compressed) (longName));
    EXPECT_EQ (guards::SettingsFile::setAsideUnreadable (longName), SettingsFileCheck::leftInPlace);
    EXPECT_TRUE (bytesOf (longName) == compressed);
}

TEST (SettingsFile, TheProgramStoresOnlyWhatTheNextStartKeeps)
{
    const std::tuple<const char*, juce::String, bool> values[] = {
        { "lastStateFile", "/home/a/b<c?d&e\"f.state", true },
        { "lastStateFile", "/tab\tline\nreturn\r", true },
        { "lastStateFile", "/" + juce::String::repeatedString ("x", PATH_MAX - 1), false },
        { "lastStateFile", "/a\x01", false }, // written as a reference that XML does not allow
        { "lastStateFile", "/a" + juce::String::charToString (0xfffe), false },
    };
    for (const auto& [key, text, expected] : values)
        EXPECT_EQ (guards::SettingsFile::canStore (key, text), expected) << key << " " << text.substring (0, 40);
}
