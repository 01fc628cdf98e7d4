#include "popwire/Clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace popwire {

namespace {

using Clock = std::chrono::steady_clock;
using Command = std::vector<const char*>;  // program and arguments, without the final null

// Clipboard text larger than this is no message to send.
constexpr std::size_t kLargestText = 64 * 1024 * 1024;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The programs that may reach the clipboard, best first.
std::vector<Command> Programs(bool copy) {
    if (IsSet("WAYLAND_DISPLAY")) {
        return {copy ? Command{"wl-copy"} : Command{"wl-paste", "--no-newline"}};
    }
    if (IsSet("DISPLAY")) {
        return {copy ? Command{"xclip", "-selection", "clipboard", "-in"}
                     : Command{"xclip", "-selection", "clipboard", "-out"},
                copy ? Command{"xsel", "--clipboard", "--input"}
                     : Command{"xsel", "--clipboard", "--output"}};
    }
    return {};
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int value = -1) : fd(value) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }
    void Close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    int fd;
};

// A started clipboard program; reaped when it goes out of scope, killed first when it has not
// ended by then (the caller's deadline has passed).
class Child {
public:
    explicit Child(pid_t id) : pid(id) {}
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Whether the program ended with status 0 by the deadline.
    bool Succeeded(Clock::time_point deadline) {
        for (;;) {
            int status = 0;
            const pid_t ended = ::waitpid(pid, &status, WNOHANG);
            if (ended == pid) {
                pid = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            if (ended < 0 && errno != EINTR) {
                pid = -1;  // reaped elsewhere (SIGCHLD ignored): the outcome is unknown
                return false;
            }
            if (MillisecondsLeft(deadline) == 0) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    pid_t pid;
};

// Starts `command` with `input` as its standard input and `output` as its standard output
// (-1: /dev/null); standard error goes to /dev/null. 0 when it cannot be started (not
// installed).
pid_t Start(const Command& command, int input, int output) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return 0;
    }
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> arguments;
    for (const char* word : command) {
        arguments.push_back(const_cast<char*>(word));
    }
    arguments.push_back(nullptr);
    pid_t pid = 0;
    const int failed =
        posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : 0;
}

// Writes all of `text` to a socket within the deadline. A socket rather than a pipe, so that
// a program that quits early costs an error, not a SIGPIPE for the whole process.
bool WriteAll(int fd, const std::string& text, Clock::time_point deadline) {
    std::size_t written = 0;
    while (written < text.size()) {
        pollfd ready{fd, POLLOUT, 0};
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0 || ::poll(&ready, 1, wait) <= 0) {
            return false;
        }
        const ssize_t taken =
            ::send(fd, text.data() + written, text.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (taken < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        written += taken > 0 ? static_cast<std::size_t>(taken) : 0;
    }
    return true;
}

// Reads until end of file within the deadline; nullopt when it ran out or the text is too big.
std::optional<std::string> ReadAll(int fd, Clock::time_point deadline) {
    std::string text;
    char chunk[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0 || ::poll(&ready, 1, wait) <= 0) {
            return std::nullopt;
        }
        const ssize_t count = ::read(fd, chunk, sizeof(chunk));
        if (count == 0) {
            return text;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        text.append(chunk, static_cast<std::size_t>(count));
        if (text.size() > kLargestText) {
            return std::nullopt;
        }
    }
}

bool PutWith(const Command& command, const std::string& text, Clock::time_point deadline) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    Descriptor ours(ends[0]);
    Descriptor theirs(ends[1]);
    const pid_t pid = Start(command, theirs.Get(), -1);
    if (pid == 0) {
        return false;
    }
    Child child(pid);
    theirs.Close();
    if (!WriteAll(ours.Get(), text, deadline)) {
        return false;
    }
    ::shutdown(ours.Get(), SHUT_WR);
    // The copying programs stay behind in the background to serve the clipboard; the one
    // started here returns once it has the text.
    return child.Succeeded(deadline);
}

std::optional<std::string> GetWith(const Command& command, Clock::time_point deadline) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Descriptor ours(ends[0]);
    Descriptor theirs(ends[1]);
    const pid_t pid = Start(command, -1, theirs.Get());
    if (pid == 0) {
        return std::nullopt;
    }
    Child child(pid);
    theirs.Close();
    auto text = ReadAll(ours.Get(), deadline);
    if (!child.Succeeded(deadline)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

bool Clipboard::Reachable() {
    return !Programs(true).empty();
}

bool Clipboard::Put(const std::string& text, Clock::time_point deadline) {
    for (const Command& command : Programs(true)) {
        if (PutWith(command, text, deadline)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> Clipboard::Get(Clock::time_point deadline) {
    for (const Command& command : Programs(false)) {
        auto text = GetWith(command, deadline);
        if (text && !text->empty()) {
            return text;
        }
    }
    return std::nullopt;
}

}  // namespace popwire
