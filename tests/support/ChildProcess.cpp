#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace moxeltest {

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TempName(const char* tag) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("moxel-child-") + tag + "-XXXXXX"))
            .string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::close(fd);
    return pattern;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& environment,
                           const std::vector<std::string>& unsetVariables,
                           const std::optional<std::string>& standardInput)
    : outPath(TempName("out")), errPath(TempName("err")) {
    if (standardInput) {
        inPath = TempName("in");
        std::ofstream(inPath, std::ios::binary) << *standardInput;
    }
    pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        // Child: only async-signal-safe work would be strictly right here, but the test
        // process is single-purpose at this point; keep it short.
        for (const auto& name : unsetVariables) {
            ::unsetenv(name.c_str());
        }
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        const int out = ::open(outPath.c_str(), O_WRONLY | O_TRUNC);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (!inPath.empty()) {
            ::dup2(::open(inPath.c_str(), O_RDONLY), STDIN_FILENO);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (!exitCode && pid > 0) {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    if (!inPath.empty()) {
        std::filesystem::remove(inPath);
    }
}

void ChildProcess::Signal(int signal) const {
    ::kill(pid, signal);
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exitCode) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exitCode;
}

bool ChildProcess::IsRunning() {
    return !WaitFor(std::chrono::milliseconds(0)).has_value();
}

std::string ChildProcess::Stdout() const {
    return ReadWhole(outPath);
}

std::string ChildProcess::Stderr() const {
    return ReadWhole(errPath);
}

bool ChildProcess::WaitForStderr(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Stderr().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline || !IsRunning()) {
            return Stderr().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

RunResult RunToEnd(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& environment,
                   const std::vector<std::string>& unsetVariables,
                   std::chrono::milliseconds timeout,
                   const std::optional<std::string>& standardInput) {
    ChildProcess child(program, args, environment, unsetVariables, standardInput);
    const auto code = child.WaitFor(timeout);
    if (!code) {
        throw std::runtime_error(program + " did not end in time");
    }
    return {*code, child.Stdout(), child.Stderr()};
}

}  // namespace moxeltest
