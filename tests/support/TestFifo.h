#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarrowby::test
{
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
