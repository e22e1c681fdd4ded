#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/**
    The settings file, judged by its shape before the framework's reader opens it:
    it is kept only in the shape the program writes, each value within a bound that
    holds for what the program writes, so that the framework's reader and writer
    handle it safely and in linear time, and whatever one start keeps, every later
    start keeps. The program stores a value only when canStore allows it.

    The shape: a "PROPERTIES" root without attributes whose start tag ends within
    the file's first 8192 bytes (all the framework looks at first); "VALUE" children
    with a "name" and either a "val" or one element; nothing else but whitespace and
    comments (see guards::readXml for the rest). Each name at most once, and by name:

    - "audioSetup": an empty "val", or one "DEVICESETUP" element with the attributes
      the framework writes (channel masks of 0 and 1 for at most 4096 channels, every
      other value of at most 512 bytes) and at most 128 "MIDIINPUT" children, each
      with a "name" and an "identifier" of at most 512 bytes;
    - "filterState": the base64 form of at most a state file's size (guards::StateText);
    - "lastStateFile": an absolute path of at most PATH_MAX - 1 bytes;
    - "windowX", "windowY": a whole number of type int; "shouldMuteInput": 0 or 1;
    - any other: at most 64 of them, each a name of at most 256 bytes with a "val"
      of at most 1024 bytes and no "<".

    Message thread.
*/
namespace guards::SettingsFile
{
/** The largest settings file that is read; the largest the program writes is well below. */
constexpr juce::int64 maximumSize = 4 * 1024 * 1024;

/** True when these bytes are a settings document of the shape above. */
bool isReadable (const char* text, size_t length);

enum class Check
{
    readable, ///< absent, empty, or a settings document of the shape above
    setAside, ///< moved to a sibling named "<file>.unreadable", kept as it was
    leftInPlace ///< not readable, and could not be moved: it must not be opened
};

/**
    Before the framework's settings reader opens the file: moves aside, bytes kept,
    whatever stands at the path that is not a readable settings document (also
    anything but a regular file of at most maximumSize bytes), so that the
    application starts with defaults and never overwrites it.
*/
Check setAsideUnreadable (const juce::File& settingsFile);

/** The "DEVICESETUP" element of an "audioSetup" value of the shape above, or nothing. */
std::unique_ptr<juce::XmlElement> readDeviceSetup (const juce::String& value);

/** True when the framework, storing this value (an element stands for its XML text, and
    null for an empty value), writes a settings file of the shape above. */
bool canStore (const juce::String& key, const juce::String& value);
bool canStore (const juce::String& key, const juce::XmlElement* value);
} // namespace guards::SettingsFile
