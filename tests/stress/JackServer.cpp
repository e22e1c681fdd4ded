#include "JackServer.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace tarrowby::test
{
namespace
{
/** Starts a program with its output appended to a file; it is told to quit when this process ends. */
pid_t spawn (const juce::StringArray& args, const juce::File& output)
{
    std::vector<char*> argv;

    for (auto& a : args)
        argv.push_back (const_cast<char*> (a.toRawUTF8()));

    argv.push_back (nullptr);
    const auto outputPath = output.getFullPathName();
    const auto* outputName = outputPath.toRawUTF8();
    const auto parent = getpid();
    const auto pid = fork();

    if (pid != 0)
        return pid;

    // In the child: only async-signal-safe calls until exec.
    prctl (PR_SET_PDEATHSIG, SIGTERM);
    const auto in = open ("/dev/null", O_RDONLY);
    const auto out = open (outputName, O_WRONLY | O_CREAT | O_APPEND, 0644);

    if (getppid() != parent || in < 0 || out < 0)
        _exit (127);

    dup2 (in, STDIN_FILENO);
    dup2 (out, STDOUT_FILENO);
    dup2 (out, STDERR_FILENO);
    execvp (argv[0], argv.data());
    _exit (127);
}

/** Waits for the child to end; false if it is still running after the time, when it is killed when kill is set. */
bool waitFor (pid_t pid, int timeoutMs, int& status, bool kill = false)
{
    for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs; waitpid (pid, &status, WNOHANG) != pid;)
    {
        if (juce::Time::getMillisecondCounter() >= end)
        {
            if (kill)
            {
                ::kill (pid, SIGKILL);
                waitpid (pid, &status, 0);
            }

            return false;
        }

        juce::Thread::sleep (10);
    }

    return true;
}
} // namespace

JackServer::JackServer (int periodSize)
    : name ("tarrowby-" + juce::String (getpid()) + "-" + juce::String (juce::Random::getSystemRandom().nextInt (1000000))),
      logFile (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile (name + ".log"))
{
    // JACK's shared-memory registry runs short with many servers at once, and then
    // clients fail to connect: let one test program at a time have its server.
    lockFile = open (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("tarrowby-jackd.lock")
                         .getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);

    if (lockFile >= 0)
        flock (lockFile, LOCK_EX);

    setenv ("JACK_DEFAULT_SERVER", name.toRawUTF8(), 1);
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);

    // JACK allows only a few servers at once; others' tests may hold some for a while.
    for (const auto giveUp = juce::Time::getMillisecondCounter() + 60000;;)
    {
        logFile.deleteFile();
        pid = spawn ({ "jackd", "--no-realtime", "-n", name, "-d", "dummy", "-r", "48000",
                       "-p", juce::String (periodSize), "-C", "16", "-P", "16" }, logFile);
        running = pid > 0 && waitUntilAnswering (10000);

        if (running || ! getLog().contains ("Too many servers") || juce::Time::getMillisecondCounter() > giveUp)
            break;

        stopProcess();
        juce::Thread::sleep (200 + juce::Random::getSystemRandom().nextInt (300));
    }
}

JackServer::~JackServer()
{
    stopProcess();
    unsetenv ("JACK_DEFAULT_SERVER");
    logFile.deleteFile();

    if (lockFile >= 0)
        close (lockFile);
}

void JackServer::stopProcess()
{
    if (pid <= 0)
        return;

    int status = 0;
    kill (pid, SIGTERM);
    waitFor (pid, 5000, status, true);
    pid = -1;
    running = false;
}

juce::String JackServer::getLog() const
{
    return logFile.loadFileAsString();
}

bool JackServer::waitUntilAnswering (int timeoutMs)
{
    for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs; juce::Time::getMillisecondCounter() < end;)
    {
        int status = 0;

        if (waitpid (pid, &status, WNOHANG) == pid) // a server that has quit will never answer
        {
            pid = -1;
            return false;
        }

        const auto probe = spawn ({ "jack_lsp", "-s", name }, juce::File ("/dev/null"));

        if (probe > 0 && waitFor (probe, 5000, status, true) && WIFEXITED (status) && WEXITSTATUS (status) == 0)
            return true;

        juce::Thread::sleep (50);
    }

    return false;
}
} // namespace tarrowby::test
