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
} // namespace guards
