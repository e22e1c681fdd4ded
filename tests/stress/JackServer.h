#pragma once

#include <juce_core/juce_core.h>

#include <sys/types.h>

namespace tarrowby::test
{
/**
    A private JACK server with the dummy back end (48 kHz, 16 capture and 16
    playback channels), started under a name of its own and made the process's
    default server, so that JACK clients opened afterwards (the framework's
    included) find it. Stopped and forgotten again on destruction.

    Message thread. Only one exists at a time on the machine: a second one,
    in this process or another, waits until the first has gone.
*/
class JackServer
{
public:
    explicit JackServer (int periodSize = 512);
    ~JackServer();

    /** True once the server answers; false if jackd is missing or did not come up. */
    bool isRunning() const noexcept     { return running; }

    const juce::String& getName() const noexcept  { return name; }

    /** What jackd wrote, for failure messages. */
    juce::String getLog() const;

private:
    bool waitUntilAnswering (int timeoutMs);
    void stopProcess();

    juce::String name;
    juce::File logFile;
    pid_t pid = -1;
    int lockFile = -1;
    bool running = false;

    JUCE_DECLARE_NON_COPYABLE (JackServer)
};
} // namespace tarrowby::test
