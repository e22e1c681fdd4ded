#pragma once

#include "TestSupport.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace tarrowby::test
{
/** Ends the test program unless destroyed within the time: what the scope waits for is stuck,
    and a stuck thread can be neither joined nor left behind. */
class Watchdog
{
public:
    Watchdog (int timeoutMs, const char* what)
        : thread ([this, timeoutMs, what]
          {
              if (finished.wait_for (std::chrono::milliseconds (timeoutMs)) == std::future_status::timeout)
              {
                  std::fprintf (stderr, "Stuck: %s within %d ms. Ending the test program.\n", what, timeoutMs);
                  std::abort();
              }
          })
    {
    }

    ~Watchdog()     { done.set_value(); thread.join(); }

private:
    std::promise<void> done;
    std::future<void> finished { done.get_future() };
    std::thread thread;
};

/** Runs a body over and over on a thread of its own, counting the heap allocations made there, until stopped. */
class LoopingThread
{
public:
    explicit LoopingThread (std::function<void()> bodyToRun)
        : body (std::move (bodyToRun)),
          thread ([this]
          {
              ScopedAllocationCounter counter;

              while (! shouldStop.load())
              {
                  body();
                  ++iterations;
              }

              allocations = counter.getCount();
          })
    {
    }

    ~LoopingThread()    { if (thread.joinable()) stop(); }

    /** Pumps messages until the body has run count more times; false if that took more than 5 s. */
    bool waitForMore (long long count) const
    {
        const auto target = iterations.load() + count;
        return pumpMessagesUntil ([&] { return iterations.load() >= target; }, 5000);
    }

    /** Stops the loop and returns the allocations the thread made. A body that does not return ends the program. */
    long long stop()
    {
        Watchdog watchdog (10000, "a looping thread did not stop");
        shouldStop = true;
        thread.join();
        return allocations.load();
    }

private:
    std::function<void()> body;
    std::atomic<bool> shouldStop { false };
    std::atomic<long long> iterations { 0 }, allocations { 0 };
    std::thread thread;
};

/** True when the first numSamples of every channel are finite. */
inline bool allFinite (const juce::AudioBuffer<float>& buffer, int numSamples)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (auto* s = buffer.getReadPointer (c), *end = s + numSamples; s < end; ++s)
            if (! std::isfinite (*s))
                return false;

    return true;
}
} // namespace tarrowby::test
