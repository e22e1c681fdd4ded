#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tarrowby::e2e
{
/** A child process in this process's environment, leading a process group of its own. Stopped (TERM, then KILL) when destroyed. */
class Process
{
public:
    /** Starts argv[0] (looked up in PATH) with stdout and stderr going to logPath; extraFd, when given, becomes its descriptor 3. */
    Process (const std::vector<std::string>& argv, const std::string& logPath, int extraFd = -1);
    ~Process()                              { stop (2000); }

    Process (const Process&) = delete;
    Process& operator= (const Process&) = delete;

    bool started() const noexcept           { return pid > 0; }
    bool isRunning();
    pid_t getPid() const noexcept           { return pid; }

    /** The exit status (128 + signal when killed), or nothing when it still runs after the time. */
    std::optional<int> waitForExit (int timeoutMs);

    /** Sends TERM, waits up to graceMs, then KILL. */
    void stop (int graceMs);

private:
    pid_t pid = -1;
    std::optional<int> exitStatus;
};

/** Runs a command to its end (killing it after timeoutMs); returns its exit code (-1 on time-out) and output. */
std::pair<int, std::string> runCommand (const std::vector<std::string>& argv, int timeoutMs = 10000);

std::string readTextFile (const std::string& path);

/** Polls the condition every stepMs until it holds or the time runs out; returns its last answer. */
bool waitUntil (const std::function<bool()>& condition, int timeoutMs, int stepMs = 50);
} // namespace tarrowby::e2e
