#pragma once

#include <juce_core/juce_core.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarrowby::test
{
/**
    A named pipe made at the given path. Whatever opens it for reading and waits for
    a writer is released within 100 ms by a writer that opens and closes at once, so
    code that wrongly blocks on the pipe ends (and fails its test) instead of hanging.
*/
class TestFifo
{
public:
    explicit TestFifo (const juce::File& path)
        : made (::mkfifo (path.getFullPathName().toRawUTF8(), 0600) == 0),
          releaser ([this, p = path.getFullPathName()] {
              std::unique_lock<std::mutex> lock (mutex);

              while (! done.wait_for (lock, std::chrono::milliseconds (100), [this] { return finished; }))
              {
                  // Succeeds only while a reader has the pipe open.
                  const auto fd = ::open (p.toRawUTF8(), O_WRONLY | O_NONBLOCK);

                  if (fd >= 0)
                      ::close (fd);
              }
          })
    {
    }

    ~TestFifo()
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            finished = true;
        }

        done.notify_one();
        releaser.join();
    }

    const bool made;

private:
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread releaser;
};
} // namespace tarrowby::test
