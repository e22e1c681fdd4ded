#include "TestSupport.h"
#include "UntrustedInput.h"
#include <gtest/gtest.h>
#include <juce_data_structures/juce_data_structures.h>
#include <functional>

using UntrustedInput::SettingsFileCheck;

namespace
{
const std::string settingsDocument = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<PROPERTIES>\n  <VALUE name=\"windowX\" val=\"12\"/>\n"
                                     "  <VALUE name=\"audioSetup\">\n    <DEVICESETUP deviceType=\"JACK\"/>\n  </VALUE>\n</PROPERTIES>\n";
const std::string compressed ("CPRP\x1f\x8b\x08\0", 8);
std::function<bool (const juce::File&)> text (const std::string& bytes)
{
    // Written in place: a temporary file's longer name may not fit beside it.
    return [bytes] (const juce::File& f) {
        juce::FileOutputStream out (f);
        return out.openedOk() && out.write (bytes.data(), bytes.size());
    };
}
std::string properties (const juce::String& content) { return ("<PROPERTIES>" + content + "</PROPERTIES>").toStdString(); }
std::string repeated (const char* text, int times) { return juce::String::repeatedString (text, times).toStdString(); }
juce::String numbered (const juce::String& before, const char* after, int count)
{
    juce::String result;
    for (int i = 0; i < count; ++i)
        result << before << i << after;
    return result;
}
/** Saved by the framework: another value of the given size and, if asked, the largest the program writes itself. */
std::function<bool (const juce::File&)> saved (int otherValueSize, bool withOwnValues)
{
    return [=] (const juce::File& f) {
        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        juce::PropertiesFile settings (f, options);
        settings.setValue ("other", juce::String::repeatedString ("x", otherValueSize));
        juce::XmlElement setup ("DEVICESETUP");
        setup.setAttribute ("audioOutputDeviceName", juce::String::repeatedString ("\"", 500));
        for (int i = 0; withOwnValues && i < 64; ++i)
            setup.createNewChildElement ("MIDIINPUT")->setAttribute ("name", juce::String::repeatedString ("<", 100));
        if (withOwnValues)
            settings.setValue ("filterState", juce::MemoryBlock (1024 * 1024, true).toBase64Encoding()), settings.setValue ("audioSetup", &setup),
                settings.setValue ("lastStateFile", "/" + juce::String::repeatedString ("\"", 4095));
        return settings.save();
    };
}
std::function<bool (const juce::File&)> linkTo (const char* target)
{
    return [target] (const juce::File& f) { return juce::File (target).createSymbolicLink (f, false); };
}
/** The bytes of a regular file that is no link, else nothing: a link may lead to an endless device. */
std::string bytesOf (const juce::File& f)
{
    juce::MemoryBlock bytes;
    if (f.existsAsFile() && ! f.isSymbolicLink())
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

TEST_F (SettingsFiles, KeepsWhatTheReaderReadsSafelyAndSetsAsideAllElseAsItWas)
{
    const std::tuple<const char*, std::function<bool (const juce::File&)>, SettingsFileCheck> cases[] = {
        { "absent", [] (auto&) { return true; }, SettingsFileCheck::readable },
        { "empty", text (""), SettingsFileCheck::readable },
        { "as written", text (settingsDocument), SettingsFileCheck::readable },
        { "byte order mark", text ("\xef\xbb\xbf" + settingsDocument), SettingsFileCheck::readable },
        { "not xml", text ("not xml at all"), SettingsFileCheck::setAside },
        { "truncated", text (settingsDocument.substr (0, 90)), SettingsFileCheck::setAside },
        { "unclosed element", text ("<PROPERTIES><VALUE name=\"a\" val=\"1\">"), SettingsFileCheck::setAside },
        { "other root", text ("<SETTINGS><VALUE name=\"a\" val=\"1\"/></SETTINGS>"), SettingsFileCheck::setAside },
        { "root past 8192 bytes", text ("<!--" + std::string (9000, 'x') + "--><PROPERTIES/>"), SettingsFileCheck::setAside },
        { "instruction in content", text ("<PROPERTIES><VALUE name=\"a\" val=\"1\"/><?loop?>x</PROPERTIES>"), SettingsFileCheck::setAside },
        { "instruction in a value saved as XML", text ("<PROPERTIES><VALUE name=\"a\" val=\"&lt;a&gt;&lt;?loop?&gt;x&lt;/a&gt;\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "deep nesting", text (juce::String::repeatedString ("<PROPERTIES>", 5000).toStdString()), SettingsFileCheck::setAside },
        { "broken UTF-8", text ("<PROPERTIES><VALUE name=\"\xc3\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "overlong UTF-8", text ("<PROPERTIES><VALUE name=\"\xc1\x81\" val=\"1\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "a last state file named like XML", text (properties ("<VALUE name=\"lastStateFile\" val=\"/x&lt;a&lt;?b.state\"/><VALUE name=\"s\" val=\"/x&#55296;\"/>")), SettingsFileCheck::readable },
        { "a reference cut off by the end", text (properties ("<VALUE name=\"a\" val=\"&#x")), SettingsFileCheck::setAside },
        { "a value that saving searches for ';' from every '&'", text (properties ("<VALUE name=\"a\" val=\"&lt;a>" + repeated ("&amp;a", 10000) + "\"/>")), SettingsFileCheck::setAside },
        { "a value rebuilt for every reference", text (properties ("<VALUE name=\"a\" val=\"x" + repeated ("&lt;", 100000) + "\"/>")), SettingsFileCheck::setAside },
        { "a value saved as deeply nested elements", text (properties ("<VALUE name=\"a\" val=\"" + repeated ("&lt;a>", 2000) + "\"/>")), SettingsFileCheck::setAside },
        { "many new attribute names", text (properties ("<VALUE" + numbered (" a", "=\"\"", 20000) + "/>")), SettingsFileCheck::setAside },
        { "many long names", text (properties (numbered ("<VALUE name=\"" + juce::String::repeatedString ("x", 4000), "\" val=\"1\"/>", 300))), SettingsFileCheck::setAside },
        { "written back larger than read", text (properties (numbered ("<VALUE name=\"", ("\" val='" + std::string (1000, '"') + "'/>").c_str(), 800))), SettingsFileCheck::setAside },
        { "saved with the program's largest values", saved (2 << 20, true), SettingsFileCheck::readable },
        { "saved leaving no room for them", saved (3 << 20, false), SettingsFileCheck::setAside },
        { "binary", text (std::string ("PROP\x01\0\0\0", 8)), SettingsFileCheck::setAside },
        { "compressed binary", text (compressed), SettingsFileCheck::setAside },
        { "external subset", text ("<!DOCTYPE PROPERTIES SYSTEM \"/dev/zero\"><PROPERTIES><VALUE name=\"a\" val=\"&x;\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "public subset", text ("<!DOCTYPE PROPERTIES PUBLIC \"-//x//EN\" \"/dev/zero\"><PROPERTIES/>"), SettingsFileCheck::setAside },
        { "parameter entity", text ("<!DOCTYPE PROPERTIES [<!ENTITY % p SYSTEM \"/dev/zero\"> %p;]><PROPERTIES><VALUE name=\"a\" val=\"&x;\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "external entity", text ("<?xml version=\"1.0\"?>\n<!DOCTYPE PROPERTIES [<!ENTITY e SYSTEM \"/dev/zero\">]><PROPERTIES><VALUE name=\"a\" val=\"&e;\"/></PROPERTIES>"), SettingsFileCheck::setAside },
        { "too large", text ("<PROPERTIES>" + std::string (4 * 1024 * 1024, ' ') + "</PROPERTIES>"), SettingsFileCheck::setAside },
        { "link to /dev/zero", linkTo ("/dev/zero"), SettingsFileCheck::setAside },
        { "link to /dev/urandom", linkTo ("/dev/urandom"), SettingsFileCheck::setAside },
        { "folder", [] (const juce::File& f) { return f.createDirectory().wasOk(); }, SettingsFileCheck::setAside },
    };
    for (const auto& [what, make, expected] : cases)
    {
        ASSERT_TRUE (make (file)) << what;
        const auto before = bytesOf (file);
        const auto wasLink = file.isSymbolicLink();
        EXPECT_EQ (UntrustedInput::setAsideUnreadableSettingsFile (file), expected) << what;
        if (expected == SettingsFileCheck::readable) // and the framework reads what is kept
            EXPECT_TRUE ((before.empty() || juce::PropertiesFile (file, {}).isValidFile()) && ! aside.exists()) << what;
        else // moved as it was: a link stays a link
            EXPECT_TRUE (! file.exists() && ! file.isSymbolicLink() && aside.isSymbolicLink() == wasLink && bytesOf (aside) == before) << what;
        file.deleteRecursively();
        aside.deleteRecursively();
    }
}

TEST_F (SettingsFiles, APipeIsSetAsideWithoutWaitingForAWriterAndWhatCannotBeMovedIsLeftAsItWas)
{
    {
        tarrowby::test::TestFifo fifo (file);
        ASSERT_TRUE (fifo.made);
        EXPECT_EQ (UntrustedInput::setAsideUnreadableSettingsFile (file), SettingsFileCheck::setAside);
        EXPECT_FALSE (file.exists());
    }
    // No permission stops root; a name with no room left for the ".unreadable" suffix stops the move.
    const auto longName = folder.getChildFile (juce::String::repeatedString ("x", 250));
    ASSERT_TRUE (text (compressed) (longName));
    EXPECT_EQ (UntrustedInput::setAsideUnreadableSettingsFile (longName), SettingsFileCheck::leftInPlace);
    EXPECT_TRUE (bytesOf (longName) == compressed);
}
