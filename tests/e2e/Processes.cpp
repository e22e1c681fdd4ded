#include "Processes.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarrowby::e2e
{
Process::Process (const std::vector<std::string>& argv, const std::string& logPath, int extraFd)
{
    std::vector<char*> args;

    for (const auto& a : argv)
        args.push_back (const_cast<char*> (a.c_str()));

    args.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2 (&actions, 1, 2);

    if (extraFd >= 0)
        posix_spawn_file_actions_adddup2 (&actions, extraFd, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup (&attributes, 0);

    if (posix_spawnp (&pid, args[0], &actions, &attributes, args.data(), environ) != 0)
        pid = -1;

    posix_spawnattr_destroy (&attributes);
    posix_spawn_file_actions_destroy (&actions);
}

bool Process::isRunning()
{
    if (pid <= 0 || exitStatus.has_value())
        return false;

    int status = 0;
    const auto result = waitpid (pid, &status, WNOHANG);

    if (result == pid)
        exitStatus = WIFEXITED (status) ? WEXITSTATUS (status) : WIFSIGNALED (status) ? 128 + WTERMSIG (status) : -1;

    return result == 0;
}

std::optional<int> Process::waitForExit (int timeoutMs)
{
    if (waitUntil ([this] { return ! isRunning(); }, timeoutMs, 10))
        return exitStatus;

    return std::nullopt;
}

void Process::stop (int graceMs)
{
    if (! isRunning())
        return;

    ::kill (pid, SIGTERM);

    if (! waitForExit (graceMs).has_value())
    {
        ::kill (pid, SIGKILL);
        waitForExit (5000);
    }
}

std::pair<int, std::string> runCommand (const std::vector<std::string>& argv, int timeoutMs)
{
    char path[] = "/tmp/tarrowby-e2e-cmd-XXXXXX";
    const auto fd = mkstemp (path);

    if (fd < 0)
        return { -1, {} };

    close (fd);
    int exitCode = -1;

    {
        Process process (argv, path);

        if (const auto status = process.waitForExit (timeoutMs))
            exitCode = *status;
    }

    auto output = readTextFile (path);
    unlink (path);
    return { exitCode, output };
}

std::string readTextFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool waitUntil (const std::function<bool()>& condition, int timeoutMs, int stepMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (! condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return condition();

        std::this_thread::sleep_for (std::chrono::milliseconds (stepMs));
    }

    return true;
}
} // namespace tarrowby::e2e
