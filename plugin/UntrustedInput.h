#pragma once

#include "XmlParseCheck.h"

#include <juce_core/juce_core.h>

/**
    Checks on text and files that come from outside the program (the settings
    file, state files, state text), made before any of it reaches the framework's
    readers, which trust what they are given. One rule: they refuse only what the
    framework cannot read safely, in bounded time, and they accept everything the
    program itself writes from anything they accepted. Any thread, unless stated
    otherwise.
*/
namespace UntrustedInput
{
/** The most elements that XML text handed to the framework's parser may hold. */
constexpr int maximumXmlElements = 1000;

/** The most superlinear work (see XmlParseCheck) that the framework's parser may be given,
    a few hundredths of a second on a desktop computer. */
constexpr XmlParseCheck::Cost maximumXmlParseCost = XmlParseCheck::Cost (1) << 30;

/** The largest settings file and state file that are read; real ones hold a few kilobytes. */
constexpr juce::int64 maximumSettingsFileSize = 4 * 1024 * 1024;
constexpr juce::int64 maximumStateFileSize = 1024 * 1024;

/**
    True when the framework's XML parser can be given this text: strict UTF-8, since
    the parser can run past the end of a broken sequence, and read by the parser to
    an end within maximumXmlElements and maximumXmlParseCost (see XmlParseCheck).
*/
bool canParseXmlSafely (const char* text, size_t length);

/**
    True when the framework's MemoryBlock::fromBase64Encoding can be given this text:
    it sizes its block from the count before the "." without a check, so the count
    must be a plain decimal number (leading blanks allowed) that the characters
    after the "." can carry.
*/
bool canDecodeBase64Safely (const juce::String& text);

enum class FileRead
{
    read,
    absent,
    notARegularFile,
    tooLarge,
    failed
};

/**
    Reads the whole file into destData when it is a regular file (links followed)
    of at most maximumSize bytes. Never opens anything else (a device, a pipe, a
    folder) and never waits for a writer; destData is left as it was unless the
    result is FileRead::read.
*/
FileRead readRegularFile (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& destData);

enum class SettingsFileCheck
{
    readable, ///< absent, empty, or a settings document the framework reads safely
    setAside, ///< moved to a sibling named "<file>.unreadable", kept as it was
    leftInPlace ///< not readable, and could not be moved: it must not be opened
};

/**
    Message thread, before the framework's settings reader opens this file. Moves
    aside, bytes kept, whatever stands at the path that the framework could not read
    safely, so that the application starts with defaults and never overwrites it:
    anything but a regular file of at most maximumSettingsFileSize bytes, the binary
    forms (whose strings are trusted blindly), text the XML parser can't take safely,
    any document type declaration (through which the file-based reader opens other
    files), and text that does not parse with a "PROPERTIES" root.

    Everything the program writes from settings it kept is kept again: the settings
    are also set aside when the framework, saving them with the largest values the
    program itself writes, would write a file beyond those bounds, or would parse a
    value unsafely (on saving it parses every value, to store XML as an element).
*/
SettingsFileCheck setAsideUnreadableSettingsFile (const juce::File& settingsFile);
} // namespace UntrustedInput
