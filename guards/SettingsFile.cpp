#include "SettingsFile.h"
#include "RegularFile.h"
#include "StateText.h"
#include "XmlReader.h"

#include <climits>
#include <cstdio>
#include <limits>
#include <set>

namespace guards::SettingsFile
{
namespace
{
constexpr int maximumChannels = 4096;
constexpr int maximumDeviceTextBytes = 512;
constexpr int maximumMidiInputs = 128;
constexpr int maximumOtherKeys = 64;
constexpr int maximumOtherKeyBytes = 256;
constexpr int maximumOtherValueBytes = 1024;
constexpr size_t firstLookBytes = 8192;

const juce::StringArray keysWritten { "audioSetup", "filterState", "lastStateFile", "shouldMuteInput", "windowX", "windowY" };
const juce::StringArray deviceSetupAttributes { "deviceType", "audioOutputDeviceName", "audioInputDeviceName", "audioDeviceRate",
                                                "audioDeviceBufferSize", "audioDeviceInChans", "audioDeviceOutChans",
                                                "defaultMidiOutput", "defaultMidiOutputDevice" };

// Each bound a little above what the shape allows; the shape decides.
const XmlRules documentRules { (size_t) maximumSize, 8 + maximumOtherKeys + maximumMidiInputs, 10, 20, false, firstLookBytes };
const XmlRules deviceSetupRules { (size_t) maximumSize, 2 + maximumMidiInputs, 10, 20, false };

int bytesOf (const juce::String& text) { return (int) text.getNumBytesAsUTF8(); }

bool hasOnlyAttributes (const juce::XmlElement& element, const juce::StringArray& names)
{
    for (int i = 0; i < element.getNumAttributes(); ++i)
        if (! names.contains (element.getAttributeName (i)))
            return false;

    return true;
}

bool isDeviceSetup (const juce::XmlElement& setup)
{
    if (! setup.hasTagName ("DEVICESETUP") || ! hasOnlyAttributes (setup, deviceSetupAttributes))
        return false;

    for (int i = 0; i < setup.getNumAttributes(); ++i)
    {
        const auto& name = setup.getAttributeName (i);
        const auto& value = setup.getAttributeValue (i);

        // The framework parses a mask with a shift of the whole number per digit.
        if (name.endsWith ("Chans") ? ! (value.length() <= maximumChannels && value.containsOnly ("01"))
                                    : bytesOf (value) > maximumDeviceTextBytes)
            return false;
    }

    int numInputs = 0;

    for (auto* input : setup.getChildIterator())
        if (++numInputs > maximumMidiInputs || ! input->hasTagName ("MIDIINPUT") || input->getNumChildElements() > 0
            || ! hasOnlyAttributes (*input, { "name", "identifier" })
            || bytesOf (input->getStringAttribute ("name")) > maximumDeviceTextBytes
            || bytesOf (input->getStringAttribute ("identifier")) > maximumDeviceTextBytes)
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
        return value.startsWithChar ('/') && bytesOf (value) < PATH_MAX;

    if (key == "shouldMuteInput")
        return value == "0" || value == "1";

    if (key == "windowX" || key == "windowY")
        return isWholeNumber (value);

    // The framework stores a value that starts with "<" as XML.
    return bytesOf (key) <= maximumOtherKeyBytes && bytesOf (value) <= maximumOtherValueBytes && ! value.containsChar ('<');
}

bool isValue (const juce::XmlElement& value, const juce::String& key)
{
    if (! hasOnlyAttributes (value, { "name", "val" }))
        return false;

    if (value.hasAttribute ("val"))
        return value.getNumChildElements() == 0 && isValueText (key, value.getStringAttribute ("val"));

    return key == "audioSetup" && value.getNumChildElements() == 1 && isDeviceSetup (*value.getFirstChildElement());
}

bool isSettingsDocument (const juce::XmlElement& document)
{
    if (! document.hasTagName ("PROPERTIES") || document.getNumAttributes() != 0)
        return false;

    std::set<juce::String> keys;
    int numOtherKeys = 0;

    for (auto* value : document.getChildIterator())
    {
        const auto key = value->getStringAttribute ("name");

        if (! value->hasTagName ("VALUE") || key.isEmpty() || ! keys.insert (key).second
            || (! keysWritten.contains (key) && ++numOtherKeys > maximumOtherKeys)
            || ! isValue (*value, key))
            return false;
    }

    return true;
}

/** The settings file that the framework writes with this one value. */
bool writesReadableDocument (const juce::String& key, std::unique_ptr<juce::XmlElement> element, const juce::String& text)
{
    juce::XmlElement document ("PROPERTIES");
    auto* value = document.createNewChildElement ("VALUE");
    value->setAttribute ("name", key);

    if (element != nullptr)
        value->addChildElement (element.release());
    else
        value->setAttribute ("val", text);

    juce::MemoryOutputStream written;
    document.writeTo (written, {});
    return isReadable (static_cast<const char*> (written.getData()), written.getDataSize());
}
} // namespace

bool isReadable (const char* text, size_t length)
{
    const auto document = readXml (text, length, documentRules);
    return document != nullptr && isSettingsDocument (*document);
}

Check setAsideUnreadable (const juce::File& settingsFile)
{
    juce::MemoryBlock bytes;
    const auto result = readRegularFile (settingsFile, maximumSize, bytes);

    if (result == FileRead::absent
        || (result == FileRead::read && (bytes.isEmpty() || isReadable (static_cast<const char*> (bytes.getData()), bytes.getSize()))))
        return Check::readable;

    // A rename moves whatever stands there (a link, a pipe, a folder) and never reads it.
    const auto aside = settingsFile.getSiblingFile (settingsFile.getFileName() + ".unreadable")
                           .getNonexistentSibling (false);

    if (std::rename (settingsFile.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8()) == 0)
        return Check::setAside;

    return Check::leftInPlace;
}

std::unique_ptr<juce::XmlElement> readDeviceSetup (const juce::String& value)
{
    auto setup = readXml (value.toRawUTF8(), value.getNumBytesAsUTF8(), deviceSetupRules);
    return setup != nullptr && isDeviceSetup (*setup) ? std::move (setup) : nullptr;
}

bool canStore (const juce::String& key, const juce::String& value)
{
    return writesReadableDocument (key, nullptr, value);
}

bool canStore (const juce::String& key, const juce::XmlElement* value)
{
    return writesReadableDocument (key, value != nullptr ? std::make_unique<juce::XmlElement> (*value) : nullptr, {});
}
} // namespace guards::SettingsFile
