#pragma once

#include <juce_core/juce_core.h>

namespace guards
{
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
    result is FileRead::read. Any thread.
*/
FileRead readRegularFile (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& destData);

/**
    Writes the bytes to a hidden file beside the target, named to fit in 255 bytes, and
    renames it over the target; false, and the target left as it was, when any of it
    fails (a write that stops part-way, as on a full disk, replaces nothing). Any thread.
*/
bool replaceWithBytes (const juce::File& target, const juce::MemoryBlock& bytes);
} // namespace guards
