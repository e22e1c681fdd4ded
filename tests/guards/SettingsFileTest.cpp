#include "TestSupport.h"
#include "SettingsFile.h"
#include <gtest/gtest.h>
#include <juce_data_structures/juce_data_structures.h>
#include <climits>
#include <functional>
#include <limits>
#include <sys/resource.h>
#include <csignal>

using Outcome = guards::SettingsFile::Preparation::Outcome;

namespace
{
using Values = std::vector<std::pair<juce::String, juce::String>>;
const std::string compressed ("CPRP\x1f\x8b\x08\0", 8);
std::function<bool (const juce::File&)> text (const std::string& bytes)
{
    // Written in place: a temporary file's longer name may not fit beside it.
    return [bytes] (const juce::File& f) {
        juce::FileOutputStream out (f);
        return out.openedOk() && out.write (bytes.data(), bytes.size());
    };
}
/** The settings file as the framework writes it holding these values (an XML text as an element), as any earlier build saved it. */
std::function<bool (const juce::File&)> saved (const Values& values)
{
    return [values] (const juce::File& f) {
        juce::PropertiesFile settings (f, {});
        for (const auto& [key, value] : values)
            settings.setValue (key, value);
        return settings.save();
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
const juce::String jack = "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"system\" audioInputDeviceName=\"system\" audioDeviceRate=\"48000.0\"/>";
const Values previousBuild { { "windowX", "100" }, { "windowY", "120" }, { "shouldMuteInput", "0" }, { "filterState", "3.gI1X" }, { "audioSetup", jack } };
/** The values with one set, as the framework sets it: in place, or at the end. */
Values plus (Values values, const juce::String& key, const juce::String& text)
{
    const auto found = std::find_if (values.begin(), values.end(), [&] (const auto& v) { return v.first == key; });
    return (found != values.end() ? found->second = text : values.emplace_back (key, text).second), values;
}
juce::String midiInputs (int count, const juce::String& name = "in")
{
    return jack.dropLastCharacters (2) + ">" + numbered ("<MIDIINPUT name=\"" + name + "\" identifier=\"", "\"/>", count) + "</DEVICESETUP>";
}
/** The program's largest values, as the framework saves them: quotes, each written as six bytes, wherever they may stand. */
std::function<bool (const juce::File&)> savedLargest()
{
    return [] (const juce::File& f) {
        const auto quotes = [] (int n) { return juce::String::repeatedString ("\"", n); };
        juce::PropertiesFile settings (f, {});
        juce::XmlElement setup ("DEVICESETUP");
        for (const auto* name : { "deviceType", "audioOutputDeviceName", "audioInputDeviceName", "audioDeviceRate", "audioDeviceBufferSize", "defaultMidiOutput", "defaultMidiOutputDevice" })
            setup.setAttribute (name, quotes (512));
        setup.setAttribute ("audioDeviceInChans", juce::String::repeatedString ("1", 4096)), setup.setAttribute ("audioDeviceOutChans", juce::String::repeatedString ("1", 4096));
        for (int i = 0; i < 80; ++i)
            setup.createNewChildElement ("MIDIINPUT")->setAttribute ("name", quotes (512)), setup.getChildElement (i)->setAttribute ("identifier", quotes (512));
        settings.setValue ("audioSetup", &setup);
        settings.setValue ("filterState", juce::MemoryBlock (1024 * 1024, true).toBase64Encoding());
        settings.setValue ("lastStateFile", "/" + quotes (4094));
        settings.setValue ("windowX", std::numeric_limits<int>::min()), settings.setValue ("windowY", std::numeric_limits<int>::min()), settings.setValue ("shouldMuteInput", true);
        for (int i = 0; i < 170; ++i)
            settings.setValue (quotes (5) + juce::String (1000 + i), quotes (1000));
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

TEST_F (SettingsFiles, TakesEachValueOfItsShapeOnItsOwnAndKeepsTheFileAsItWasAsideWhenAnyIsDropped)
{
    const auto inChans = [] (int n) { return deviceSetup ("<DEVICESETUP deviceType=\"JACK\" audioDeviceInChans=\"" + std::string ((size_t) n, '1') + "\"/>"); };
    const auto utf16 = [] (const juce::String& content) {
        juce::MemoryOutputStream out;
        out.writeShort ((short) 0xfeff);
        for (auto c : content)
            out.writeShort ((short) c);
        return std::string (static_cast<const char*> (out.getData()), out.getDataSize());
    };
    const auto padding = "<!--" + std::string (9000, ' ') + "-->";
    const struct
    {
        const char* what;
        std::function<bool (const juce::File&)> make;
        Outcome outcome;
        std::vector<juce::String> dropped;
        Values kept;
    } cases[] = {
        { "absent", [] (auto&) { return true; }, Outcome::unchanged, {}, {} },
        { "empty", text (""), Outcome::unchanged, {}, {} },
        { "saved with the program's largest values", savedLargest(), Outcome::unchanged, {}, {} },
        { "saved by an earlier build", saved (previousBuild), Outcome::unchanged, {}, previousBuild },
        { "not xml", text ("not xml at all"), Outcome::setAside, {}, {} },
        { "other root", text ("<SETTINGS><VALUE name=\"a\" val=\"1\"/></SETTINGS>"), Outcome::setAside, {}, {} },
        { "a document type", text ("<!DOCTYPE PROPERTIES><PROPERTIES/>"), Outcome::setAside, {}, {} },
        { "too large", text ("<PROPERTIES>" + std::string (4 * 1024 * 1024, ' ') + "</PROPERTIES>"), Outcome::setAside, {}, {} },
        { "compressed binary", text (compressed), Outcome::setAside, {}, {} },
        { "folder", [] (const juce::File& f) { return f.createDirectory().wasOk(); }, Outcome::setAside, {}, {} },
        // One value out of its shape costs that value alone.
        { "a control character in a path", saved (plus (previousBuild, "lastStateFile", "/home/u/up\x01.state")), Outcome::rewritten, { "lastStateFile" }, previousBuild },
        { "a path longer than a path can be", saved (plus (previousBuild, "lastStateFile", "/" + juce::String::repeatedString ("x", 4099))), Outcome::rewritten, { "lastStateFile" }, previousBuild },
        { "a MIDI input named with ESC", saved (plus ({ { "windowX", "5" } }, "audioSetup", midiInputs (1, "a\x1b[2J"))), Outcome::rewritten, { "audioSetup" }, { { "windowX", "5" } } },
        { "a DEVICESETUP under another name", saved (plus (previousBuild, "other", jack)), Outcome::rewritten, { "other" }, previousBuild },
        { "a value as XML the framework would read as an element", text (properties (value ("windowX", "1") + value ("k", " &lt;a/&gt;") + value ("j", "a&lt;b/&gt;"))), Outcome::rewritten, { "k" }, { { "windowX", "1" }, { "j", "a<b/>" } } },
        { "an element after text in a value", text (properties ("<VALUE name=\"k\"><a>x<b><c/></b></a></VALUE>" + value ("windowY", "2"))), Outcome::rewritten, { "k" }, { { "windowY", "2" } } },
        { "a name twice: the last counts", text (properties (value ("windowX", "1") + value ("windowX", "2"))), Outcome::rewritten, { "windowX" }, { { "windowX", "2" } } },
        { "a root attribute, text and an element among the values", text ("<PROPERTIES a=\"1\">x<B/>" + value ("windowX", "1") + "<VALUE val=\"2\"/></PROPERTIES>"), Outcome::rewritten, { "" }, { { "windowX", "1" } } },
        { "a channel mask of a million digits", text (properties (inChans (1000000) + value ("windowX", "1"))), Outcome::rewritten, { "audioSetup" }, { { "windowX", "1" } } },
        { "a channel mask of more channels than a device has", text (properties (inChans (4097))), Outcome::rewritten, { "audioSetup" }, {} },
        { "an attribute the framework neither writes nor reads", text (properties (deviceSetup ("<DEVICESETUP x=\"1\"/>"))), Outcome::rewritten, { "audioSetup" }, {} },
        { "a set-up as text", text (properties (value ("audioSetup", "&lt;DEVICESETUP/&gt;"))), Outcome::rewritten, { "audioSetup" }, {} },
        { "a long tag with wrapped attributes", text (properties (deviceSetup ("<" + std::string (8192, 'a') + numbered (" a", "=\"\"", 1000).toStdString() + "/>"))), Outcome::rewritten, { "audioSetup" }, {} },
        { "a relative last state file", text (properties (value ("lastStateFile", "x.state"))), Outcome::rewritten, { "lastStateFile" }, {} },
        { "a state as the framework does not write it", text (properties (value ("filterState", " 3.gI1X"))), Outcome::rewritten, { "filterState" }, {} },
        { "a window position beyond an int", text (properties (value ("windowX", "2147483648"))), Outcome::rewritten, { "windowX" }, {} },
        { "input muting other than 0 or 1", text (properties (value ("shouldMuteInput", "true"))), Outcome::rewritten, { "shouldMuteInput" }, {} },
        { "other values over 1 MiB together", saved ({ { "a", juce::String::repeatedString ("x", 600000) }, { "b", juce::String::repeatedString ("x", 600000) } }), Outcome::rewritten, { "b" }, { { "a", juce::String::repeatedString ("x", 600000) } } },
        { "1001 values the program does not write", text (properties (numbered ("<VALUE name=\"k", "\" val=\"x\"/>", 1001).toStdString())), Outcome::rewritten, { "k1000" }, { { "k999", "x" } } },
        // Shapes the framework writes or reads itself are taken.
        { "129 MIDI inputs", saved (plus (previousBuild, "audioSetup", midiInputs (129))), Outcome::unchanged, {}, plus (previousBuild, "audioSetup", midiInputs (129)) },
        { "a set-up naming one device for both ways", saved ({ { "audioSetup", "<DEVICESETUP deviceType=\"ALSA\" audioDeviceName=\"hw:0\"/>" } }), Outcome::unchanged, {}, { { "audioSetup", "<DEVICESETUP deviceType=\"ALSA\" audioDeviceName=\"hw:0\"/>" } } },
        { "a value of 100 kB", saved (plus (previousBuild, "note", juce::String::repeatedString ("x", 100000))), Outcome::unchanged, {}, plus (previousBuild, "note", juce::String::repeatedString ("x", 100000)) },
        { "a last state file named like XML", text (properties (value ("lastStateFile", "/x&lt;a&lt;?b.state"))), Outcome::rewritten, {}, { { "lastStateFile", "/x<a<?b.state" } } },
        // What the framework's reader would read otherwise reaches it only as its own writer's text.
        { "a long reference as text", text (properties ("<VALUE name=\"lastStateFile\" val=\"/a\">&#0000000000032;</VALUE>")), Outcome::rewritten, {}, { { "lastStateFile", "/a" } } },
        { "long references inside a value and before a set-up", text (properties ("<VALUE name=\"k\" val=\"x\">" + juce::String::repeatedString ("&#x000000020;", 205).toStdString() + "</VALUE><VALUE name=\"audioSetup\">&#0000000000032;" + jack.toStdString() + "</VALUE>")), Outcome::rewritten, {}, { { "k", "x" }, { "audioSetup", jack } } },
        { "a tab and a line feed in a value", text (properties (value ("k", "a\tb\nc"))), Outcome::rewritten, {}, { { "k", "a b c" } } },
        { "UTF-16 with a mark, past the framework's first look", text (utf16 (juce::String::fromUTF8 (("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + padding + properties (value ("windowX", "7") + value ("k", "\xc3\xa9"))).c_str()))), Outcome::rewritten, {}, { { "windowX", "7" }, { "k", juce::String (juce::CharPointer_UTF8 ("\xc3\xa9")) } } },
    };
    for (const auto& [what, make, outcome, dropped, kept] : cases)
    {
        ASSERT_TRUE (make (file)) << what;
        const auto before = bytesOf (file);
        const auto prepared = guards::SettingsFile::prepare (file);
        EXPECT_EQ (prepared.outcome, outcome) << what;
        EXPECT_EQ (prepared.dropped.joinIntoString ("|"), juce::StringArray (dropped.data(), (int) dropped.size()).joinIntoString ("|")) << what;
        for (const auto& [key, text] : kept)
            EXPECT_EQ (prepared.values[key], text) << what << ": " << key;
        // The file as it was, kept beside the new one when anything of it was dropped.
        if (outcome == Outcome::setAside || ! dropped.empty())
            EXPECT_TRUE (prepared.keptAside == aside && bytesOf (aside) == before) << what;
        else
            EXPECT_FALSE (aside.exists()) << what;
        if (outcome != Outcome::setAside)
        {
            // The framework reads the values taken, in their order, and the next start takes them again as they are.
            juce::PropertiesFile framework (file, {});
            EXPECT_EQ (framework.getAllProperties().getAllKeys(), prepared.values.getAllKeys()) << what;
            EXPECT_EQ (framework.getAllProperties().getAllValues(), prepared.values.getAllValues()) << what;
            const auto again = guards::SettingsFile::prepare (file);
            EXPECT_TRUE (again.outcome == Outcome::unchanged && again.dropped.isEmpty() && again.values == prepared.values) << what;
        }
        file.deleteRecursively();
        aside.deleteRecursively();
    }
}

TEST_F (SettingsFiles, APipeIsSetAsideWithoutWaitingForAWriterAndWhatCannotBeWrittenIsLeftAsItWas)
{
    {
        tarrowby::test::TestFifo fifo (file);
        ASSERT_TRUE (fifo.made);
        EXPECT_EQ (guards::SettingsFile::prepare (file).outcome, Outcome::setAside);
        EXPECT_FALSE (file.exists());
        EXPECT_TRUE (aside.deleteFile());
    }
    // No permission stops root; a name with no room left for the ".unreadable" suffix stops the move and the copy.
    const auto longName = folder.getChildFile (juce::String::repeatedString ("x", 250));
    for (const auto& bytes : { compressed, properties (value ("windowX", "5") + value ("windowY", "x")) })
    {
        ASSERT_TRUE (text (bytes) (longName));
        const auto prepared = guards::SettingsFile::prepare (longName);
        EXPECT_EQ (prepared.outcome, bytes == compressed ? Outcome::leftInPlace : Outcome::notRewritten);
        EXPECT_EQ (prepared.values["windowX"], bytes == compressed ? "" : "5");
        EXPECT_TRUE (bytesOf (longName) == bytes);
        EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
        longName.deleteFile();
    }
    // A rewrite that stops part-way, as on a full disk, leaves the file and nothing beside it.
    const auto quotes = value ("k", "x") + "<VALUE name=\"j\" val='" + std::string (1000, '"') + "'/>";
    ASSERT_TRUE (text (properties (quotes)) (file));
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previousLimit {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &previousLimit), 0);
    auto small = previousLimit;
    small.rlim_cur = 4096;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
    const auto prepared = guards::SettingsFile::prepare (file);
    setrlimit (RLIMIT_FSIZE, &previousLimit);
    std::signal (SIGXFSZ, previousHandler);
    EXPECT_EQ (prepared.outcome, Outcome::notRewritten);
    EXPECT_TRUE (bytesOf (file) == properties (quotes));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST (SettingsFile, TheProgramStoresOnlyWhatTheNextStartKeeps)
{
    const std::tuple<const char*, juce::String, bool> values[] = {
        { "lastStateFile", "/home/a/b<c?d&e\"f.state", true },
        { "lastStateFile", "/tab\tline\nreturn\r", true },
        { "lastStateFile", "/" + juce::String::repeatedString ("x", PATH_MAX - 1), false },
        { "lastStateFile", "/a\x01", false }, // written as a reference that XML does not allow
        { "lastStateFile", "/a" + juce::String::charToString (0xfffe), false },
        { "audioSetup", midiInputs (1000), true },
        { "audioSetup", midiInputs (1001), false },
        { "audioSetup", midiInputs (1000, juce::String::repeatedString ("&quot;", 200)), false }, // over 1 MiB as written
    };
    for (const auto& [key, text, expected] : values)
        EXPECT_EQ (guards::SettingsFile::canStore (key, text), expected) << key << " " << text.substring (0, 40);
}
