#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>

namespace tarrowby::test
{
/** Runs the message loop for the given time. Call from the message thread. */
void pumpMessages (int milliseconds);

/** Runs the message loop until the predicate holds or the time runs out; returns the predicate's last answer. */
bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds);

/** Counts heap allocations made by the calling thread while an instance of this class lives on it. */
class ScopedAllocationCounter
{
public:
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();

    /** Allocations counted so far on the thread that created this counter. */
    long long getCount() const noexcept;

private:
    long long startCount = 0;
    bool wasCounting = false;
};
} // namespace tarrowby::test
