#pragma once

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <juce_audio_processors/juce_audio_processors.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarrowby::test
{
/** Runs the message loop for the given time, or until the predicate holds (returning its last answer). Message thread. */
void pumpMessages (int milliseconds);
bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds);

/** The components of the given type below the parent, in the order they were added, each before its own. */
template <typename Type>
std::vector<Type*> findChildren (const juce::Component& parent)
{
    std::vector<Type*> found;
    for (auto* child : parent.getChildren())
    {
        if (auto* typed = dynamic_cast<Type*> (child))
            found.push_back (typed);
        const auto below = findChildren<Type> (*child);
        found.insert (found.end(), below.begin(), below.end());
    }
    return found;
}

/** Counts heap allocations made by the calling thread while an instance of this class lives on it. */
struct ScopedAllocationCounter
{
    ScopedAllocationCounter();
    ~ScopedAllocationCounter();
    long long getCount() const noexcept;
    const long long startCount;
    const bool wasCounting;
};

/** A named pipe at the path; a reader that waits for a writer is released within 100 ms, failing instead of hanging. */
struct TestFifo
{
    explicit TestFifo (const juce::File& path) : made (::mkfifo (path.getFullPathName().toRawUTF8(), 0600) == 0), pathName (path.getFullPathName()) {}
    ~TestFifo() { finished = true, releaser.join(); }

    const bool made;
    const juce::String pathName;
    std::atomic<bool> finished { false };
    std::thread releaser { [this] {
        for (; ! finished; std::this_thread::sleep_for (std::chrono::milliseconds (100)))
            if (const auto fd = ::open (pathName.toRawUTF8(), O_WRONLY | O_NONBLOCK); fd >= 0) // only while a reader has it open
                ::close (fd);
    } };
};
} // namespace tarrowby::test
