#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tarrowby::e2e
{
/** Environment variables for a child: the test's own, with overrides. */
using Environment = std::map<std::string, std::string>;

/** The current process's environment. */
Environment currentEnvironment();

/** A child process started with posix_spawn. Killed (TERM, then KILL) when destroyed while running. */
class Process
{
public:
    /** Starts argv[0] (looked up in PATH) with the given environment; stdout and stderr go to logPath.
        When extraFd is given, the child gets it as descriptor 3. */
    Process (const std::vector<std::string>& argv,
             const Environment& environment,
             const std::string& logPath,
             int extraFd = -1);
    ~Process();

    Process (const Process&) = delete;
    Process& operator= (const Process&) = delete;

    bool started() const noexcept { return pid > 0; }
    bool isRunning();

    /** Waits for the child to end; returns its exit status (128 + signal when killed), or nothing on time-out. */
    std::optional<int> waitForExit (int timeoutMs);

    /** Sends TERM, waits up to graceMs, then KILL. */
    void stop (int graceMs = 3000);

    pid_t getPid() const noexcept { return pid; }

private:
    pid_t pid = -1;
    std::optional<int> exitStatus;
};

/** Result of a short command. */
struct CommandResult
{
    int exitCode = -1;
    std::string output;
};

/** Runs a command to its end (or kills it after timeoutMs) and returns its stdout. */
CommandResult runCommand (const std::vector<std::string>& argv, const Environment& environment, int timeoutMs = 10000);

/** Reads a whole text file; empty when it cannot be read. */
std::string readTextFile (const std::string& path);
} // namespace tarrowby::e2e
