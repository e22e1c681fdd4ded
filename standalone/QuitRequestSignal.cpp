#include "QuitRequestSignal.h"

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace juce
{
namespace
{
// The signal handler may only touch this and call write().
volatile std::sig_atomic_t signalPipeWriteFd = -1;

extern "C" void wakeMessageThread (int)
{
    const auto savedErrno = errno;

    if (const int fd = signalPipeWriteFd; fd >= 0)
    {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write (fd, &byte, 1);
    }

    errno = savedErrno;
}

void setQuitSignalHandler (void (*handler) (int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;

    sigaction (SIGTERM, &action, nullptr);
    sigaction (SIGINT, &action, nullptr);
}
} // namespace

QuitRequestSignal::QuitRequestSignal (std::function<void()> onQuitRequested)
    : callback (std::move (onQuitRequested))
{
    jassert (MessageManager::getInstance()->isThisTheMessageThread());
    jassert (signalPipeWriteFd < 0);

    int fds[2];

    if (::pipe2 (fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    readFd = fds[0];
    writeFd = fds[1];
    signalPipeWriteFd = writeFd;

    LinuxEventLoop::registerFdCallback (readFd, [this] (int fd) { handleWakeUp (fd); });
    setQuitSignalHandler (wakeMessageThread);
}

QuitRequestSignal::~QuitRequestSignal()
{
    if (readFd < 0)
        return;

    setQuitSignalHandler (SIG_DFL);
    signalPipeWriteFd = -1;
    LinuxEventLoop::unregisterFdCallback (readFd);
    ::close (readFd);
    ::close (writeFd);
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
} // namespace juce
