#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace moxeltest {

// A program started by a test with its own environment additions; its standard output and error
// are collected into files. Killed (SIGKILL) on destruction if it still runs.
class ChildProcess {
public:
    // With `standardInput`, the child reads that text from its standard input; without, it
    // shares the test's.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment = {},
                 const std::vector<std::string>& unsetVariables = {},
                 const std::optional<std::string>& standardInput = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid; }
    void Signal(int signal) const;
    // The exit code, or nullopt when it has not ended within `timeout`. A process ended by a
    // signal reports 128 + the signal number.
    std::optional<int> WaitFor(std::chrono::milliseconds timeout);
    bool IsRunning();
    std::string Stdout() const;
    std::string Stderr() const;
    // Waits until the standard error holds `text`, at most `timeout`.
    bool WaitForStderr(const std::string& text, std::chrono::milliseconds timeout);

private:
    pid_t pid = -1;
    std::optional<int> exitCode;
    std::string outPath;
    std::string errPath;
    std::string inPath;
};

// Runs a program to its end (at most `timeout`) and returns its exit code and outputs.
struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};
RunResult RunToEnd(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& environment = {},
                   const std::vector<std::string>& unsetVariables = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(30),
                   const std::optional<std::string>& standardInput = std::nullopt);

}  // namespace moxeltest
