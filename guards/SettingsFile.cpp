#include "SettingsFile.h"
#include "RegularFile.h"
#include "StateText.h"
#include "XmlReader.h"

#include <climits>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <vector>

namespace guards::SettingsFile
{
namespace
{
constexpr int maximumChannels = 4096;
constexpr int maximumDeviceTextBytes = 512;
constexpr size_t maximumMidiInputs = 1000;
constexpr size_t maximumWrittenDeviceSetup = 1 << 20;
constexpr int maximumOtherValues = 1000;
constexpr size_t maximumWrittenOtherValues = 1 << 20;

const juce::StringArray keysWritten { "audioSetup", "filterState", "lastStateFile", "shouldMuteInput", "windowX", "windowY" };
const juce::StringArray deviceSetupAttributes { "deviceType", "audioOutputDeviceName", "audioInputDeviceName", "audioDeviceName",
                                                "audioDeviceRate", "audioDeviceBufferSize", "audioDeviceInChans",
                                                "audioDeviceOutChans", "defaultMidiOutput", "defaultMidiOutputDevice" };

// Bounds a little above what the shape allows, which decides; what is beyond them marks its element incomplete.
const XmlRules documentRules { (size_t) maximumSize, 16384, 8, 16, true };
const XmlRules deviceSetupRules { (size_t) maximumSize, 1 + (int) maximumMidiInputs, 2, 16 };

const std::string* findAttribute (const XmlNode& node, const char* name)
{
    for (const auto& attribute : node.attributes)
        if (attribute.first == name)
            return &attribute.second;

    return nullptr;
}

juce::String getAttribute (const XmlNode& node, const char* name)
{
    const auto* value = findAttribute (node, name);
    return value != nullptr ? toJuceString (*value) : juce::String();
}

bool hasOnlyAttributes (const XmlNode& node, const juce::StringArray& names)
{
    for (const auto& attribute : node.attributes)
        if (! names.contains (toJuceString (attribute.first)))
            return false;

    return true;
}

bool isLeaf (const XmlNode& node) { return ! node.hasText && ! node.incomplete && node.children.empty(); }

bool isDeviceSetup (const XmlNode& setup)
{
    if (setup.tag != "DEVICESETUP" || setup.hasText || setup.incomplete || setup.children.size() > maximumMidiInputs
        || ! hasOnlyAttributes (setup, deviceSetupAttributes))
        return false;

    for (const auto& [name, value] : setup.attributes)
    {
        // The framework parses a mask with a shift of the whole number per digit.
        if (juce::String (name).endsWith ("Chans") ? ! (value.size() <= maximumChannels && value.find_first_not_of ("01") == std::string::npos)
                                                   : value.size() > maximumDeviceTextBytes)
            return false;
    }

    for (const auto& input : setup.children)
        if (input.tag != "MIDIINPUT" || ! isLeaf (input) || ! hasOnlyAttributes (input, { "name", "identifier" })
            || getAttribute (input, "name").getNumBytesAsUTF8() > maximumDeviceTextBytes
            || getAttribute (input, "identifier").getNumBytesAsUTF8() > maximumDeviceTextBytes)
            return false;

    return true;
}

bool isWholeNumber (const juce::String& text)
{
    const auto digits = text.startsWithChar ('-') ? text.substring (1) : text;

    if (digits.isEmpty() || digits.length() > 10 || ! digits.containsOnly ("0123456789"))
        return false;

    const auto value = text.getLargeIntValue();
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

bool isValueText (const juce::String& key, const juce::String& value)
{
    if (key == "audioSetup")
        return value.isEmpty();

    if (key == "filterState")
        return StateText::isEncodedState (value);

    if (key == "lastStateFile")
        return value.startsWithChar ('/') && value.getNumBytesAsUTF8() < PATH_MAX;

    if (key == "shouldMuteInput")
        return value == "0" || value == "1";

    if (key == "windowX" || key == "windowY")
        return isWholeNumber (value);

    // The framework stores such a text as XML.
    return ! value.trimStart().startsWithChar ('<');
}

size_t writtenSize (const juce::String& key, const juce::String& value)
{
    juce::StringPairArray one;
    one.set (key, value);
    return write (one).getSize();
}

/** A value as the framework's settings object holds it, when it has its key's shape. */
std::optional<juce::String> takeValue (const XmlNode& value, const juce::String& key)
{
    if (value.hasText || value.incomplete || ! hasOnlyAttributes (value, { "name", "val" }) || value.children.size() > 1)
        return {};

    if (value.children.empty())
    {
        const auto text = getAttribute (value, "val");
        return isValueText (key, text) ? std::optional (text) : std::nullopt;
    }

    if (key != "audioSetup" || findAttribute (value, "val") != nullptr || ! isDeviceSetup (value.children.front()))
        return {};

    const auto text = toElement (value.children.front())->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
    return writtenSize (key, text) <= maximumWrittenDeviceSetup ? std::optional (text) : std::nullopt;
}

/** "<file>.unreadable", or the next free name. */
juce::File getAsideName (const juce::File& file)
{
    return file.getSiblingFile (file.getFileName() + ".unreadable").getNonexistentSibling (false);
}
} // namespace

std::optional<Values> read (const char* text, size_t length)
{
    const auto document = readXml (text, length, documentRules);

    if (! document.has_value() || document->tag != "PROPERTIES")
        return {};

    // By name, in the order the names first stand, as the framework's settings object keeps them.
    std::vector<std::pair<juce::String, std::optional<juce::String>>> entries;
    std::map<juce::String, size_t> entryOf;
    std::set<juce::String> others, dropped;
    size_t otherBytes = 0;
    Values values;

    const auto drop = [&] (const juce::String& name) {
        if (dropped.insert (name).second)
            values.dropped.add (name);
    };

    if (document->hasText || document->incomplete || ! document->attributes.empty())
        drop ({});

    for (const auto& node : document->children)
    {
        const auto key = getAttribute (node, "name");

        // The framework reads neither.
        if (node.tag != "VALUE" || key.isEmpty())
        {
            drop ({});
            continue;
        }

        const auto [found, isFirst] = entryOf.emplace (key, entries.size());

        if (isFirst)
            entries.emplace_back (key, std::nullopt);
        else // of a name given twice, the last counts
            drop (key);

        auto& value = entries[found->second].second;
        value = takeValue (node, key);

        if (value.has_value() && ! keysWritten.contains (key))
        {
            const auto isCounted = others.count (key) > 0;
            const auto size = isCounted || (int) others.size() < maximumOtherValues ? writtenSize (key, *value)
                                                                                    : maximumWrittenOtherValues + 1;

            if (otherBytes + size <= maximumWrittenOtherValues)
                others.insert (key), otherBytes += size;
            else
                value.reset();
        }

        if (! value.has_value())
            drop (key);
    }

    for (const auto& [key, value] : entries)
        if (value.has_value())
            values.taken.set (key, *value);

    return values;
}

juce::MemoryBlock write (const juce::StringPairArray& values)
{
    juce::XmlElement document ("PROPERTIES");

    for (int i = values.size(); --i >= 0;)
    {
        auto value = std::make_unique<juce::XmlElement> ("VALUE");
        value->setAttribute ("name", values.getAllKeys()[i]);

        if (auto setup = values.getAllKeys()[i] == "audioSetup" ? readDeviceSetup (values.getAllValues()[i]) : nullptr)
            value->addChildElement (setup.release());
        else
            value->setAttribute ("val", values.getAllValues()[i]);

        document.prependChildElement (value.release());
    }

    juce::MemoryOutputStream written;
    document.writeTo (written, {});
    return written.getMemoryBlock();
}

Preparation prepare (const juce::File& settingsFile)
{
    Preparation preparation;
    juce::MemoryBlock bytes;
    const auto result = readRegularFile (settingsFile, maximumSize, bytes);

    if (result == FileRead::absent || (result == FileRead::read && bytes.isEmpty()))
        return preparation;

    const auto values = result == FileRead::read ? read (static_cast<const char*> (bytes.getData()), bytes.getSize()) : std::nullopt;

    if (! values.has_value())
    {
        // A rename moves whatever stands there and never reads it.
        preparation.keptAside = getAsideName (settingsFile);
        const auto moved = std::rename (settingsFile.getFullPathName().toRawUTF8(), preparation.keptAside.getFullPathName().toRawUTF8()) == 0;
        preparation.outcome = moved ? Preparation::Outcome::setAside : Preparation::Outcome::leftInPlace;
        preparation.keptAside = moved ? preparation.keptAside : juce::File();
        return preparation;
    }

    preparation.values = values->taken;
    preparation.dropped = values->dropped;
    const auto written = write (values->taken);

    if (written == bytes)
        return preparation;

    const auto notRewritten = [&preparation] {
        preparation.keptAside = juce::File();
        preparation.outcome = Preparation::Outcome::notRewritten;
        return preparation;
    };

    // The file as it was is kept beside the new one whenever something of it was dropped.
    if (! values->dropped.isEmpty())
    {
        preparation.keptAside = getAsideName (settingsFile);

        if (! replaceWithBytes (preparation.keptAside, bytes))
            return notRewritten();
    }

    if (! replaceWithBytes (settingsFile, written))
    {
        if (preparation.keptAside != juce::File())
            preparation.keptAside.deleteFile();

        return notRewritten();
    }

    preparation.outcome = Preparation::Outcome::rewritten;
    return preparation;
}

std::unique_ptr<juce::XmlElement> readDeviceSetup (const juce::String& value)
{
    const auto setup = readXml (value.toRawUTF8(), value.getNumBytesAsUTF8(), deviceSetupRules);
    return setup.has_value() && isDeviceSetup (*setup) ? toElement (*setup) : nullptr;
}

bool canStore (const juce::String& key, const juce::String& value)
{
    juce::StringPairArray one;
    one.set (key, value);
    const auto written = write (one);
    const auto values = read (static_cast<const char*> (written.getData()), written.getSize());
    return values.has_value() && values->dropped.isEmpty() && values->taken == one;
}

bool canStore (const juce::String& key, const juce::XmlElement* value)
{
    return canStore (key, value != nullptr ? value->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()) : juce::String());
}
} // namespace guards::SettingsFile
