#include "UntrustedInput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <climits>
#include <limits>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace UntrustedInput
{
namespace
{
/** Strict UTF-8 (no overlong forms, surrogates or code points past U+10FFFF), which the
    framework reads and writes back byte for byte. Its own check lets overlong forms
    and surrogates through, and overlong forms are not written back as they were read.
    The framework steps over a character's continuation bytes without looking at them,
    so any broken sequence can take its XML parser past the end of the text. */
bool isValidUtf8 (const char* text, size_t length) noexcept
{
    const auto* bytes = reinterpret_cast<const juce::uint8*> (text);

    for (size_t i = 0; i < length;)
    {
        const auto lead = bytes[i];
        size_t extra = 0;
        juce::uint8 low = 0x80, high = 0xbf; // the range of the first continuation byte

        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        if (lead >= 0xc2 && lead <= 0xdf)
            extra = 1;
        else if (lead == 0xe0)
        {
            extra = 2;
            low = 0xa0;
        }
        else if (lead == 0xed)
        {
            extra = 2;
            high = 0x9f;
        }
        else if (lead >= 0xe1 && lead <= 0xef)
            extra = 2;
        else if (lead == 0xf0)
        {
            extra = 3;
            low = 0x90;
        }
        else if (lead == 0xf4)
        {
            extra = 3;
            high = 0x8f;
        }
        else if (lead >= 0xf1 && lead <= 0xf3)
            extra = 3;
        else
            return false;

        if (length - i <= extra || bytes[i + 1] < low || bytes[i + 1] > high)
            return false;

        for (size_t k = 2; k <= extra; ++k)
            if ((bytes[i + k] & 0xc0) != 0x80)
                return false;

        i += extra + 1;
    }

    return true;
}

/** The UTF-8 byte order mark that the framework's readers skip, when the text starts with one. */
size_t getByteOrderMarkLength (const char* text, size_t length) noexcept
{
    return length >= 3 && std::memcmp (text, "\xef\xbb\xbf", 3) == 0 ? 3 : 0;
}

/** True when the text holds "<!DOCTYPE", in any case. */
bool hasDocumentType (const char* text, size_t length) noexcept
{
    const char name[] = "<!DOCTYPE";
    const auto nameLength = sizeof (name) - 1;

    for (size_t i = 0; i + nameLength <= length; ++i)
    {
        size_t k = 0;

        while (k < nameLength && juce::CharacterFunctions::toUpperCase ((juce::juce_wchar) (juce::uint8) text[i + k]) == (juce::juce_wchar) name[k])
            ++k;

        if (k == nameLength)
            return true;
    }

    return false;
}

using Cost = XmlParseCheck::Cost;

/** What saving a settings file comes to: its bytes, what parsing it takes, and what parsing
    again the values stored as elements takes on the next save. */
struct SettingsLoad
{
    juce::int64 bytes = 0;
    int elements = 0;
    Cost parseCost = 0, saveCost = 0;
    bool fits = true;

    bool isAtLeast (const SettingsLoad& other) const noexcept
    {
        return bytes >= other.bytes && elements >= other.elements && parseCost >= other.parseCost && saveCost >= other.saveCost;
    }

    SettingsLoad& operator+= (const SettingsLoad& other) noexcept
    {
        bytes += other.bytes;
        elements += other.elements;
        parseCost += other.parseCost;
        saveCost += other.saveCost;
        fits = fits && other.fits;
        return *this;
    }
};

/** Saves values as the framework does, each as an element when its text parses as one. */
class SettingsWriter
{
public:
    void add (const juce::String& key, const juce::String& value)
    {
        const auto valueCheck = XmlParseCheck::of (value, maximumXmlElements, maximumXmlParseCost);
        saveCost += valueCheck.cost;
        fits = fits && valueCheck.passes();

        auto* element = document.createNewChildElement ("VALUE");
        element->setAttribute ("name", key);

        if (! valueCheck.passes())
            return;

        if (auto child = juce::parseXML (value))
            element->addChildElement (child.release());
        else
            element->setAttribute ("val", value);
    }

    SettingsLoad getLoad() const
    {
        juce::MemoryOutputStream written;
        document.writeTo (written, {});
        const auto check = XmlParseCheck::of (written.toUTF8(), maximumXmlElements, maximumXmlParseCost);
        return { (juce::int64) written.getDataSize(), check.elements, check.cost, saveCost, fits && check.passes() };
    }

private:
    juce::XmlElement document { "PROPERTIES" };
    Cost saveCost = 0;
    bool fits = true;
};

SettingsLoad getLoadOf (const juce::String& key, const juce::String& value)
{
    SettingsWriter writer;
    writer.add (key, value);
    return writer.getLoad();
}

/** For each key whose value the program writes itself, what saving the largest value it writes
    comes to, with room for the names that value adds to those of the rest: a state of the
    largest size read, a path as long as a path can be with every byte escaped, a device set-up. */
const std::map<juce::String, SettingsLoad>& getLargestLoadsWritten()
{
    static const auto loads = [] {
        const auto quotes = [] (int n) { return juce::String::repeatedString ("\"", n); };
        juce::XmlElement setup ("DEVICESETUP");

        for (int i = 0; i < 8; ++i)
            setup.setAttribute ("a" + juce::String (i), quotes (512));

        for (int i = 0; i < 64; ++i)
        {
            auto* input = setup.createNewChildElement ("MIDIINPUT");
            input->setAttribute ("name", quotes (128));
            input->setAttribute ("identifier", quotes (128));
        }

        // The largest state as a short one, plus the base64 characters (never escaped, read in one piece) that it lacks.
        const auto shortState = juce::MemoryBlock (1, true).toBase64Encoding();
        const auto stateChars = (juce::int64) juce::MemoryBlock ((size_t) maximumStateFileSize, true).toBase64Encoding().length() - shortState.length();
        SettingsLoad largestState = getLoadOf ("filterState", shortState);
        largestState.bytes += stateChars;
        largestState.parseCost += stateChars;

        std::map<juce::String, SettingsLoad> result {
            { "filterState", largestState },
            { "lastStateFile", getLoadOf ("lastStateFile", "/" + quotes (PATH_MAX)) },
            { "audioSetup", getLoadOf ("audioSetup", setup.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())) },
            { "shouldMuteInput", getLoadOf ("shouldMuteInput", "1") },
            { "windowX", getLoadOf ("windowX", juce::String (std::numeric_limits<int>::min())) },
            { "windowY", getLoadOf ("windowY", juce::String (std::numeric_limits<int>::min())) }
        };

        for (auto& [key, load] : result)
            load.parseCost += Cost (1) << 21;

        return result;
    }();

    return loads;
}

/**
    True when the framework, having read this settings document, saves it within the bounds that
    it is read with again: the values the program does not write as they were read, and for each
    it writes, the larger of its own and the largest the program writes (or both, when neither is).
*/
bool writesBackWithinBounds (const juce::XmlElement& document)
{
    const auto& largest = getLargestLoadsWritten();

    // The framework keeps one value a name, searching those it keeps for each one it reads.
    juce::int64 numNames = (juce::int64) largest.size(), nameBytes = 0;

    for (const auto& entry : largest)
        nameBytes += (juce::int64) entry.first.getNumBytesAsUTF8() + 1;

    for (auto* element : document.getChildWithTagNameIterator ("VALUE"))
    {
        if (const auto name = element->getStringAttribute ("name"); name.isNotEmpty() && largest.count (name) == 0)
        {
            ++numNames;
            nameBytes += (juce::int64) name.getNumBytesAsUTF8() + 1;
        }
    }

    const auto keyCost = numNames * nameBytes * XmlParseCheck::searchedCharacterCost;

    if (keyCost > maximumXmlParseCost)
        return false;

    juce::StringPairArray values (false);

    for (auto* element : document.getChildWithTagNameIterator ("VALUE"))
        if (const auto name = element->getStringAttribute ("name"); name.isNotEmpty())
            values.set (name, element->getFirstChildElement() != nullptr ? element->getFirstChildElement()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                                                         : element->getStringAttribute ("val"));

    SettingsWriter writer;
    auto load = SettingsLoad();

    for (int i = 0; i < values.size(); ++i)
    {
        const auto& key = values.getAllKeys()[i];
        const auto& value = values.getAllValues()[i];
        const auto entry = largest.find (key);

        if (entry == largest.end())
        {
            writer.add (key, value);
            continue;
        }

        const auto ownLoad = getLoadOf (key, value);

        if (! entry->second.isAtLeast (ownLoad))
            writer.add (key, value);

        if (! ownLoad.isAtLeast (entry->second))
            load += entry->second;
    }

    for (const auto& [key, largestLoad] : largest)
        if (! values.containsKey (key))
            load += largestLoad;

    load += writer.getLoad();

    return load.fits
           && load.bytes <= maximumSettingsFileSize
           && load.elements <= maximumXmlElements
           && load.parseCost + keyCost <= maximumXmlParseCost
           && load.saveCost <= maximumXmlParseCost;
}

/**
    True when the framework's settings reader reads this safe, zero-free UTF-8 text
    as its document: it looks for the "PROPERTIES" root in the file's first 8192
    bytes and then parses the whole text, skipping a byte order mark each time.
    The first look is made here on that window cut back to a whole character: it
    succeeds only when the parser never reached the cut, and then the reader's look
    at the uncut window reads the same characters.
*/
bool isSettingsDocument (const char* text, size_t length)
{
    constexpr size_t windowSize = 8192;

    auto windowEnd = juce::jmin (length, windowSize);

    while (windowEnd > 0 && windowEnd < length && (text[windowEnd] & 0xc0) == 0x80)
        --windowEnd;

    const auto skip = getByteOrderMarkLength (text, length);

    if (windowEnd < skip)
        return false;

    const auto outer = juce::XmlDocument (juce::String::fromUTF8 (text + skip, (int) (windowEnd - skip)))
                           .getDocumentElement (true);

    if (outer == nullptr || ! outer->hasTagName ("PROPERTIES"))
        return false;

    const auto document = juce::parseXML (juce::String::fromUTF8 (text + skip, (int) (length - skip)));
    return document != nullptr && writesBackWithinBounds (*document);
}

/** True when the framework's settings reader reads these bytes safely and as its XML
    document. The reader's binary forms, which trust their strings blindly, start with
    "PROP" or "CPRP" and so are never that document. An empty file holds nothing to keep. */
bool isReadableSettingsText (const char* text, size_t length)
{
    if (length == 0)
        return true;

    // The reader stops at a zero byte.
    if (const auto* zero = static_cast<const char*> (std::memchr (text, 0, length)))
        length = (size_t) (zero - text);

    const auto skip = getByteOrderMarkLength (text, length);

    return canParseXmlSafely (text + skip, length - skip)
           && ! hasDocumentType (text, length)
           && isSettingsDocument (text, length);
}
} // namespace

//==============================================================================
bool canParseXmlSafely (const char* text, size_t length)
{
    return isValidUtf8 (text, length)
           && XmlParseCheck::of (juce::String::fromUTF8 (text, (int) length), maximumXmlElements, maximumXmlParseCost).passes();
}

bool canDecodeBase64Safely (const juce::String& text)
{
    const auto dot = text.indexOfChar ('.');

    if (dot < 0)
        return false;

    // Every character from '+' to 'z' after the "." fills six bits, as the framework decodes.
    juce::int64 numDataChars = 0;

    for (auto p = text.getCharPointer() + dot + 1; ! p.isEmpty(); ++p)
        if (*p >= '+' && *p <= 'z')
            ++numDataChars;

    const auto maxBytes = juce::jmin ((juce::int64) std::numeric_limits<int>::max(), numDataChars * 6 / 8);
    const auto countText = text.substring (0, dot).trimStart();

    if (countText.isEmpty())
        return false;

    juce::int64 count = 0;

    for (auto p = countText.getCharPointer(); ! p.isEmpty(); ++p)
    {
        if (! juce::CharacterFunctions::isDigit (*p))
            return false;

        count = count * 10 + (juce::int64) (*p - '0');

        if (count > maxBytes)
            return false;
    }

    return true;
}

//==============================================================================
FileRead readRegularFile (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& destData)
{
    const auto path = file.getFullPathName();
    struct stat info = {};

    // Looked at before opening, so that no device is ever opened.
    if (::stat (path.toRawUTF8(), &info) != 0)
        return errno == ENOENT ? FileRead::absent : FileRead::failed;

    if (! S_ISREG (info.st_mode))
        return FileRead::notARegularFile;

    // Without waiting, and checked again once open, in case it was replaced by a pipe meanwhile.
    const auto fd = ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

    if (fd < 0)
        return FileRead::failed;

    const juce::ScopeGuard closeFile { [fd] { ::close (fd); } };

    if (::fstat (fd, &info) != 0)
        return FileRead::failed;

    if (! S_ISREG (info.st_mode))
        return FileRead::notARegularFile;

    // It may still grow while being read: the bound holds for what is read.
    juce::MemoryOutputStream bytes;
    char chunk[65536];

    for (;;)
    {
        const auto numRead = ::read (fd, chunk, sizeof (chunk));

        if (numRead == 0)
            break;

        if (numRead < 0)
        {
            if (errno == EINTR)
                continue;

            return FileRead::failed;
        }

        if ((juce::int64) (bytes.getDataSize() + (size_t) numRead) > maximumSize)
            return FileRead::tooLarge;

        bytes.write (chunk, (size_t) numRead);
    }

    destData.replaceAll (bytes.getData(), bytes.getDataSize());
    return FileRead::read;
}

SettingsFileCheck setAsideUnreadableSettingsFile (const juce::File& settingsFile)
{
    juce::MemoryBlock bytes;
    const auto result = readRegularFile (settingsFile, maximumSettingsFileSize, bytes);

    if (result == FileRead::absent
        || (result == FileRead::read && isReadableSettingsText (static_cast<const char*> (bytes.getData()), bytes.getSize())))
        return SettingsFileCheck::readable;

    // A rename moves whatever stands there (a link, a pipe, a folder) and never reads it.
    const auto aside = settingsFile.getSiblingFile (settingsFile.getFileName() + ".unreadable")
                           .getNonexistentSibling (false);

    if (std::rename (settingsFile.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8()) == 0)
        return SettingsFileCheck::setAside;

    return SettingsFileCheck::leftInPlace;
}
} // namespace UntrustedInput
