#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>

namespace tarrowby::test
{
/** Runs the message loop for the given time, or until the predicate holds (returning its last answer). Message thread. */
void pumpMessages (int milliseconds);
bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds);

/** Counts heap allocations made by the calling thread while an instance of this class lives on it. */
class ScopedAllocationCounter
{
public:
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();
    long long getCount() const noexcept;

private:
    long long startCount = 0;
    bool wasCounting = false;
};
} // namespace tarrowby::test
