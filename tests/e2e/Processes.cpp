#include "Processes.h"

#include <chrono>
#include <csignal>
#include <cstring>
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
namespace
{
int decodeStatus (int status)
{
    if (WIFEXITED (status))
        return WEXITSTATUS (status);

    if (WIFSIGNALED (status))
        return 128 + WTERMSIG (status);

    return -1;
}

std::vector<std::string> flatten (const Environment& environment)
{
    std::vector<std::string> entries;

    for (const auto& [key, value] : environment)
        entries.push_back (key + "=" + value);

    return entries;
}
} // namespace

Environment currentEnvironment()
{
    Environment result;

    for (auto** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    {
        const std::string text (*entry);
        const auto equals = text.find ('=');

        if (equals != std::string::npos)
            result[text.substr (0, equals)] = text.substr (equals + 1);
    }

    return result;
}

Process::Process (const std::vector<std::string>& argv,
                  const Environment& environment,
                  const std::string& logPath,
                  int extraFd)
{
    std::vector<char*> args;

    for (const auto& a : argv)
        args.push_back (const_cast<char*> (a.c_str()));

    args.push_back (nullptr);

    const auto envStrings = flatten (environment);
    std::vector<char*> envp;

    for (const auto& e : envStrings)
        envp.push_back (const_cast<char*> (e.c_str()));

    envp.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2 (&actions, 1, 2);

    if (extraFd >= 0)
        posix_spawn_file_actions_adddup2 (&actions, extraFd, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);

    // Each child leads its own process group, so that stopping it stops what it started.
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup (&attributes, 0);

    if (posix_spawnp (&pid, args[0], &actions, &attributes, args.data(), envp.data()) != 0)
        pid = -1;

    posix_spawnattr_destroy (&attributes);
    posix_spawn_file_actions_destroy (&actions);
}

Process::~Process()
{
    stop (2000);
}

bool Process::isRunning()
{
    if (pid <= 0 || exitStatus.has_value())
        return false;

    int status = 0;
    const auto result = waitpid (pid, &status, WNOHANG);

    if (result == pid)
    {
        exitStatus = decodeStatus (status);
        return false;
    }

    return result == 0;
}

std::optional<int> Process::waitForExit (int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (isRunning())
    {
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;

        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }

    return exitStatus;
}

void Process::stop (int graceMs)
{
    if (! isRunning())
        return;

    ::kill (pid, SIGTERM);

    if (waitForExit (graceMs).has_value())
        return;

    ::kill (pid, SIGKILL);
    waitForExit (5000);
}

CommandResult runCommand (const std::vector<std::string>& argv, const Environment& environment, int timeoutMs)
{
    char path[] = "/tmp/tarrowby-e2e-cmd-XXXXXX";
    const auto fd = mkstemp (path);

    if (fd < 0)
        return {};

    close (fd);

    CommandResult result;

    {
        Process process (argv, environment, path);

        if (const auto status = process.waitForExit (timeoutMs))
            result.exitCode = *status;
        else
            process.stop (500);
    }

    result.output = readTextFile (path);
    unlink (path);
    return result;
}

std::string readTextFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}
} // namespace tarrowby::e2e
