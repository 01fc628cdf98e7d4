#include "app/CommandLine.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <thread>

#include "app/ExitCodes.h"
#include "app/commands/CommandTable.h"
#include "core/Directories.h"
#include "core/Exception.h"
#include "core/ThreadData.h"
#include "platform/ControlChannel.h"
#include "platform/InstanceLock.h"
#include "popwire.h"
#include "smtpwire.h"

namespace {

using namespace std::chrono_literals;

// A copy that holds the lock opens its socket at the end of its start; one that quits closes
// it before it lets go of the lock. Either lasts seconds at most.
constexpr auto kFindPeerDeadline = 20s;
constexpr std::size_t kMaxInput = 4096;

// Turns terminal echo off for its lifetime.
class EchoOff {
public:
    EchoOff() : active(::tcgetattr(STDIN_FILENO, &saved) == 0) {
        if (active) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    ~EchoOff() {
        if (active) {
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
            std::cerr << std::endl;
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios saved{};
    bool active;
};

// The POP3 and SMTP libraries, for a collection run in this process.
class WireLibraries {
public:
    WireLibraries() {
        if (PopInitializeA(nullptr, nullptr) == 0 || SmtpInitializeA(nullptr, nullptr) == 0) {
            throw Exception("Failed to initialize Tarnwell Wire Bench Library");
        }
    }
    ~WireLibraries() {
        PopUninitialize();
        SmtpUninitialize();
    }
    WireLibraries(const WireLibraries&) = delete;
    WireLibraries& operator=(const WireLibraries&) = delete;
};

// A password: typed without echo on a terminal, else the first line of standard input.
std::string ReadSecret() {
    std::string line;
    if (::isatty(STDIN_FILENO)) {
        std::cerr << "Password: " << std::flush;
        EchoOff quiet;
        std::getline(std::cin, line);
    } else {
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line.substr(0, kMaxInput);
}

int Print(const platform::ControlReply& reply) {
    std::cout << reply.out << std::flush;
    std::cerr << reply.err << std::flush;
    return reply.status;
}

int Failure(const std::string& line) {
    std::cerr << "moxel: " << line << std::endl;
    return kExitStartFailed;
}

// Runs the command here: nobody else holds the data folder, so the first database use may
// do the once-per-process preparation (which frees letter boxes left open by a crash).
int RunHere(const platform::ControlRequest& request) {
    WireLibraries libraries;
    ThreadDataScope threadData;
    CommandContext context(nullptr);
    return Print(RunCommand(request, context));
}

// The running copy's answer, or nullopt when nobody listens (yet, or any more).
std::optional<int> RunThere(const CommandEntry& entry, const platform::ControlRequest& request) {
    platform::ControlReply reply;
    const auto result =
        platform::ControlChannel::Send(GetControlSocketPath(), request, entry.replyDeadline, reply);
    const int error = errno;
    switch (result) {
        case platform::ControlChannel::SendResult::Replied:
            return Print(reply);
        case platform::ControlChannel::SendResult::NotListening:
            return std::nullopt;
        case platform::ControlChannel::SendResult::Unreachable:
            return Failure("cannot reach the running copy of Moxel at " +
                           GetControlSocketPath().string() + ": " + std::strerror(error));
        case platform::ControlChannel::SendResult::TimedOut:
            return Failure("the running copy of Moxel did not answer within " +
                           std::to_string(entry.replyDeadline.count()) +
                           " seconds; it may still carry the command out");
        case platform::ControlChannel::SendResult::Broken:
            break;
    }
    return Failure("the connection to the running copy of Moxel broke off");
}

}  // namespace

std::string CommandHelp() {
    std::string help;
    for (const auto& entry : GetCommands()) {
        help += entry.help;
    }
    return help;
}

int RunCommandLine(const std::vector<std::string>& args) {
    const CommandEntry* entry = FindCommand(args.front());
    platform::ControlRequest request{args, ""};
    // Read before anything else, so that a prompt does not sit under a held lock.
    if (entry->wantsInput(std::vector<std::string>(args.begin() + 1, args.end()))) {
        request.input = ReadSecret();
    }
    try {
        const auto giveUp = std::chrono::steady_clock::now() + kFindPeerDeadline;
        for (;;) {
            platform::InstanceLock lock(GetInstanceLockPath());
            if (lock.TryAcquire()) {
                return RunHere(request);
            }
            if (const auto status = RunThere(*entry, request)) {
                return *status;
            }
            if (std::chrono::steady_clock::now() >= giveUp) {
                return Failure("another copy of Moxel holds the data folder but does not answer");
            }
            std::this_thread::sleep_for(100ms);
        }
    } catch (const Exception& error) {
        return Failure(error.GetDescription());
    } catch (const std::exception& error) {
        return Failure(error.what());
    }
}
