#include "QuitRequestSignal.h"

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarrowby
{
namespace
{
// The signal handler may only touch this and call write().
volatile std::sig_atomic_t signalPipeWriteFd = -1;
int signalPipeReadFd = -1;

constexpr int quitSignals[] { SIGINT, SIGTERM, SIGHUP };

void wakeMessageThread (int)
{
    const auto savedErrno = errno;

    if (const int fd = signalPipeWriteFd; fd >= 0)
    {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write (fd, &byte, 1);
    }

    errno = savedErrno;
}

sigset_t getQuitSignals()
{
    sigset_t signals;
    sigemptyset (&signals);

    for (const auto signal : quitSignals)
        sigaddset (&signals, signal);

    return signals;
}

void setQuitSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = wakeMessageThread;
    action.sa_mask = getQuitSignals();
    action.sa_flags = SA_RESTART;

    for (const auto signal : quitSignals)
        sigaction (signal, &action, nullptr);
}
} // namespace

void QuitRequestSignal::install()
{
    jassert (signalPipeReadFd < 0);

    int fds[2];

    if (::pipe2 (fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    signalPipeReadFd = fds[0];
    signalPipeWriteFd = fds[1];

    const auto signals = getQuitSignals();
    pthread_sigmask (SIG_BLOCK, &signals, nullptr);
    setQuitSignalHandlers();
}

void QuitRequestSignal::release()
{
    if (signalPipeReadFd < 0)
        return;

    setQuitSignalHandlers();

    const auto signals = getQuitSignals();
    pthread_sigmask (SIG_UNBLOCK, &signals, nullptr);
}

QuitRequestSignal::QuitRequestSignal (std::function<void()> onQuitRequested)
    : callback (std::move (onQuitRequested)),
      readFd (signalPipeReadFd)
{
    jassert (juce::MessageManager::getInstance()->isThisTheMessageThread());

    // A byte already in the pipe wakes the message loop at once.
    if (readFd >= 0)
        juce::LinuxEventLoop::registerFdCallback (readFd, [this] (int fd) { handleWakeUp (fd); });
}

QuitRequestSignal::~QuitRequestSignal()
{
    if (readFd >= 0)
        juce::LinuxEventLoop::unregisterFdCallback (readFd);
}

void QuitRequestSignal::handleWakeUp (int fd)
{
    char bytes[16];

    while (::read (fd, bytes, sizeof (bytes)) > 0)
    {
    }

    if (callback != nullptr)
        callback();
}
} // namespace tarrowby
