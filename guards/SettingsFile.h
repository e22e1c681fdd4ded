#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <optional>

/**
    The settings file, read once with guards::readXml and taken value by value, so that
    the framework's settings object only ever reads what the framework itself writes
    from the values taken: before it opens the file, the file is made that text.

    A settings document is a "PROPERTIES" root with "VALUE" children, each with a "name"
    and a "val" or one element (or neither: an empty value). A value is taken when it has
    the shape the program writes, within a bound that holds for everything the program
    writes into it; anything else is dropped on its own:

    - "audioSetup": empty, or one "DEVICESETUP" element with the attributes the framework
      writes or reads (channel masks of 0 and 1 for at most 4096 channels, every other value
      of at most 512 bytes) and at most 1000 "MIDIINPUT" children, each with a "name" and an
      "identifier" of at most 512 bytes; at most 1 MiB as the framework writes it;
    - "filterState": the base64 form of at most a state file's size (guards::StateText);
    - "lastStateFile": an absolute path of at most PATH_MAX - 1 bytes;
    - "windowX", "windowY": a whole number of type int; "shouldMuteInput": 0 or 1;
    - any other: text that the framework does not store as XML (it does not start with
      "<" after white space); at most 1000 of them, of at most 1 MiB together as the
      framework writes them.

    A value that holds a character XML does not allow (the framework writes control
    characters so) is dropped. Of a name given twice the last counts, as for the framework.
    Whatever the program writes from the values taken, the next start takes again.

    Message thread.
*/
namespace guards::SettingsFile
{
/** The largest settings file that is read; the largest the program writes is well below. */
constexpr juce::int64 maximumSize = 4 * 1024 * 1024;

/** What a settings document holds for the program. */
struct Values
{
    /** The values taken, in the form and order the framework's settings object holds them. */
    juce::StringPairArray taken { false };

    /** The names of the values dropped, as they stand in the file; "" for content that is no named value. */
    juce::StringArray dropped;
};

/** The values of a settings document, or nothing when the bytes are not one (not XML, a document
    type, another root). */
std::optional<Values> read (const char* text, size_t length);

/** The settings file that the framework's settings object writes holding these values. */
juce::MemoryBlock write (const juce::StringPairArray& values);

/** What prepare did with the file at the path. */
struct Preparation
{
    enum class Outcome
    {
        unchanged, ///< absent, empty, or already the framework's writing of what it holds
        rewritten, ///< replaced by the framework's writing of the values taken
        setAside, ///< not a settings document (or not a regular file of at most maximumSize bytes): moved aside
        leftInPlace, ///< not a settings document, and it could not be moved: it must not be opened
        notRewritten ///< a settings document that could not be rewritten: it must not be opened
    };

    Outcome outcome = Outcome::unchanged;

    /** The values taken, which the framework reads once it opens the file; for notRewritten, those to use
        for this run without saving them. */
    juce::StringPairArray values { false };

    juce::StringArray dropped;

    /** Where the file stands as it was, when it was set aside or a value was dropped. */
    juce::File keptAside;
};

/**
    Before the framework's settings object opens the file: reads it, and makes it the
    framework's writing of the values taken. When a value was dropped, the file as it was
    stays beside it, bytes intact, in "<file>.unreadable" (or the next free name). What is
    not a settings document is moved there whole (a rename, which never reads a device, a
    pipe or a folder), and the application starts with its defaults.
*/
Preparation prepare (const juce::File& settingsFile);

/** The "DEVICESETUP" element of an "audioSetup" value of the shape above, or nothing. */
std::unique_ptr<juce::XmlElement> readDeviceSetup (const juce::String& value);

/** True when the framework, storing this value (an element stands for its XML text, and
    null for an empty value), writes a settings file from which the next start takes it. */
bool canStore (const juce::String& key, const juce::String& value);
bool canStore (const juce::String& key, const juce::XmlElement* value);
} // namespace guards::SettingsFile
