#pragma once

#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>

namespace tarrowby::test
{
/** Runs the message loop for the given time, or until the predicate holds (returning its last answer). Message thread. */
void pumpMessages (int milliseconds);
bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds);

/** Counts heap allocations made by the calling thread while an instance of this class lives on it. */
struct ScopedAllocationCounter
{
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();
    long long getCount() const noexcept;
    const long long startCount;
    const bool wasCounting;
};
} // namespace tarrowby::test
