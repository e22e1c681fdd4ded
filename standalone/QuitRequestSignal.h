#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace tarrowby
{
/**
    Turns the operating system's requests to quit (SIGTERM, as sent at log-out
    or by a service manager, SIGINT from a terminal and SIGHUP when that
    terminal closes) into calls on the message thread, so that they take the
    same road as any other quit request.

    The signals are caught from install() until the process ends; they never
    end it themselves. A request that arrives while nothing listens waits for
    the next listener, if one comes.
*/
class QuitRequestSignal
{
public:
    /** Catches the signals for the rest of the process's life, holding them
        back until release(). Call it first in main, before the framework starts. */
    static void install();

    /** Takes the signals back from the framework, which claims SIGINT for a quit
        that saves nothing when its message manager starts, and lets the held ones
        through. Call it on the message thread once the message manager exists. */
    static void release();

    /** Calls onQuitRequested on the message thread for a request waiting since
        before, then for later ones, until destroyed. Create and destroy it on the
        message thread; only one may exist at a time. */
    explicit QuitRequestSignal (std::function<void()> onQuitRequested);
    ~QuitRequestSignal();

private:
    void handleWakeUp (int fd);

    std::function<void()> callback;
    int readFd = -1;

    JUCE_DECLARE_NON_COPYABLE (QuitRequestSignal)
};
} // namespace tarrowby
