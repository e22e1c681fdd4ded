#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace juce
{
/**
    Turns the operating system's requests to quit (SIGTERM, as sent at log-out
    or by a service manager, and SIGINT from a terminal) into one call on the
    message thread, so that they take the same road as any other quit request.

    Create and destroy it on the message thread. Only one may exist at a time.
*/
class QuitRequestSignal
{
public:
    explicit QuitRequestSignal (std::function<void()> onQuitRequested);
    ~QuitRequestSignal();

private:
    void handleWakeUp (int fd);

    std::function<void()> callback;
    int readFd = -1;
    int writeFd = -1;

    JUCE_DECLARE_NON_COPYABLE (QuitRequestSignal)
};
} // namespace juce
