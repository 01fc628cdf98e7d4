#include "platform/ControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr mode_t kSocketMode = 0600;

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Closes a descriptor when the scope ends.
class FdGuard {
public:
    explicit FdGuard(int fdIn) : fd(fdIn) {}
    ~FdGuard() { CloseIfOpen(fd); }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

// A handle on the socket's folder, through which the socket is reached when its full path is
// too long for an address.
int OpenFolder(const std::filesystem::path& socketPath) {
    const int fd = ::open(socketPath.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "Cannot open the folder of " + socketPath.string());
    }
    return fd;
}

// The socket's full path when it fits into an address (108 bytes); otherwise the same file
// named through the folder handle `folderFd` in /proc/self/fd, so that the socket stays beside
// the instance lock wherever the data folder lies.
sockaddr_un MakeAddress(const std::filesystem::path& socketPath, int folderFd) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string text = socketPath.string();
    if (text.size() >= sizeof(address.sun_path)) {
        text = "/proc/self/fd/" + std::to_string(folderFd) + "/" + socketPath.filename().string();
    }
    if (text.size() >= sizeof(address.sun_path)) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(),
                                "Socket name too long: " + socketPath.string());
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// The socket's file mode already keeps other users out; this holds should the folder or the
// file be opened up by hand.
bool IsFromThisUser(int peer) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    return ::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

// Waits until `fd` is ready for `events`. False when the deadline passes first, or when
// `stopFd` (may be -1) becomes readable.
bool WaitReady(int fd, short events, SteadyClock::time_point deadline, int stopFd) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, stopFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            return fds[1].revents == 0 || stopFd < 0;
        }
    }
}

// Reads exactly `size` bytes into `out`. False on end of stream, an error, the deadline or stop.
bool ReadExact(int fd, std::size_t size, std::string& out, SteadyClock::time_point deadline,
               int stopFd) {
    out.assign(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        if (!WaitReady(fd, POLLIN, deadline, stopFd)) {
            return false;
        }
        const ssize_t n = ::recv(fd, out.data() + got, size - got, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return false;
        }
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

bool WriteAll(int fd, std::string_view data, SteadyClock::time_point deadline, int stopFd) {
    while (!data.empty()) {
        if (!WaitReady(fd, POLLOUT, deadline, stopFd)) {
            return false;
        }
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        data.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return true;
}

// A connected socket to the channel at `socketPath`, or -1 with errno set.
int Connect(const std::filesystem::path& socketPath) {
    int folder = -1;
    sockaddr_un address{};
    try {
        folder = OpenFolder(socketPath);
        address = MakeAddress(socketPath, folder);
    } catch (const std::system_error& error) {
        CloseIfOpen(folder);
        errno = error.code().value();
        return -1;
    }
    FdGuard folderGuard(folder);
    // Non-blocking, so that a listener whose queue is full cannot hold the caller.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        CloseIfOpen(fd);
        errno = error;
    }
    return fd;
}

}  // namespace

ControlChannel::ControlChannel(std::filesystem::path socketPath, Handlers handlersIn)
    : path(std::move(socketPath)), handlers(std::move(handlersIn)) {
    folderFd = OpenFolder(path);
    const std::string name = path.filename().string();
    int error = 0;
    try {
        const sockaddr_un address = MakeAddress(path, folderFd);
        // The caller holds the instance lock: a socket file here is a leftover of a killed copy.
        ::unlinkat(folderFd, name.c_str(), 0);
        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // The mode is set before listen(): nobody can connect while the file is still open.
        if (listenFd < 0 || ::pipe2(wakeFds, O_CLOEXEC) != 0 ||
            ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
            ::fchmodat(folderFd, name.c_str(), kSocketMode, 0) != 0 || ::listen(listenFd, 8) != 0) {
            error = errno;
        }
    } catch (const std::system_error& tooLong) {
        error = tooLong.code().value();
    }
    if (error != 0) {
        CloseIfOpen(listenFd);
        CloseIfOpen(wakeFds[0]);
        CloseIfOpen(wakeFds[1]);
        CloseIfOpen(folderFd);
        throw std::system_error(error, std::generic_category(),
                                "Cannot listen at " + path.string());
    }
    listener = std::thread([this] { Listen(); });
}

void ControlChannel::StopListening() {
    if (listener.joinable()) {
        const char stop = 's';
        [[maybe_unused]] const auto written = ::write(wakeFds[1], &stop, 1);
        listener.join();
    }
}

ControlChannel::~ControlChannel() {
    StopListening();
    // The listener is gone: nobody adds workers any more.
    for (auto& worker : workers) {
        worker.thread.join();
    }
    CloseIfOpen(listenFd);
    CloseIfOpen(wakeFds[0]);
    CloseIfOpen(wakeFds[1]);
    if (folderFd >= 0) {
        ::unlinkat(folderFd, path.filename().c_str(), 0);
        CloseIfOpen(folderFd);
    }
}

void ControlChannel::Listen() {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int peer = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) {
            continue;
        }
        if (!IsFromThisUser(peer)) {
            ::close(peer);
            Refuse("a process of another user");
            continue;
        }
        ReapWorkers();
        StartWorker(peer);
    }
}

void ControlChannel::StartWorker(int peer) {
    std::lock_guard lock(workersMutex);
    if (workers.size() >= kMaxWorkers) {
        ::close(peer);
        if (handlers.onRefused) {
            handlers.onRefused("Control socket: a request was refused; " +
                               std::to_string(kMaxWorkers) + " requests are already in progress");
        }
        return;
    }
    auto& worker = workers.emplace_back();
    try {
        worker.thread = std::thread([this, peer, &worker] {
            try {
                Serve(peer);
            } catch (const std::exception& error) {
                // A handler that throws must not end the running copy.
                Refuse(std::string("a peer whose request failed: ") + error.what());
            }
            std::lock_guard doneLock(workersMutex);
            worker.done = true;
        });
    } catch (const std::system_error& error) {
        workers.pop_back();
        ::close(peer);
        if (handlers.onRefused) {
            handlers.onRefused(std::string("Control socket: no thread for a request: ") +
                               error.what());
        }
    }
}

void ControlChannel::ReapWorkers() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(workersMutex);
        for (auto it = workers.begin(); it != workers.end();) {
            const auto next = std::next(it);
            if (it->done) {
                finished.splice(finished.end(), workers, it);
            }
            it = next;
        }
    }
    for (auto& worker : finished) {
        worker.thread.join();
    }
}

void ControlChannel::Refuse(const std::string& reason) {
    if (handlers.onRefused) {
        handlers.onRefused("Control socket: refused a request from " + reason);
    }
}

void ControlChannel::Serve(int peerFd) {
    // Closed on every way out, a handler that throws included.
    FdGuard connection(peerFd);
    const int peer = connection.Get();
    // A stuck or slow peer must not hold a worker past the deadline.
    const auto deadline = SteadyClock::now() + kTransferDeadline;
    std::string head;
    if (!ReadExact(peer, control_frame::kQuitWord.size(), head, deadline, wakeFds[0])) {
        Refuse("a peer that sent no complete request in time");
        return;
    }
    if (head == control_frame::kQuitWord) {
        if (handlers.onQuit) {
            handlers.onQuit();
        }
        return;
    }
    std::string rest;
    std::string body;
    if (head != control_frame::kRequestTag) {
        Refuse("a peer that does not speak the control protocol");
        return;
    }
    const auto length =
        ReadExact(peer, control_frame::kHeaderSize - head.size(), rest, deadline, wakeFds[0])
            ? control_frame::ParseHeader(head + rest, control_frame::kRequestTag)
            : std::nullopt;
    if (!length) {
        Refuse("a peer whose request is cut short or above the size limit");
        return;
    }
    if (!ReadExact(peer, *length, body, deadline, wakeFds[0])) {
        Refuse("a peer that sent no complete request in time");
        return;
    }
    const auto request = control_frame::DecodeRequest(body);
    if (!request) {
        Refuse("a peer whose request is not well framed");
        return;
    }
    const ControlReply reply = handlers.onRequest
                                   ? handlers.onRequest(*request)
                                   : ControlReply{1, "", "moxel: this copy takes no commands\n"};
    const auto replyDeadline = SteadyClock::now() + kTransferDeadline;
    if (!WriteAll(peer, control_frame::EncodeReply(reply), replyDeadline, wakeFds[0])) {
        Refuse("a peer that did not take its reply");
    }
}

bool ControlChannel::RequestQuit(const std::filesystem::path& socketPath) {
    FdGuard fd(Connect(socketPath));
    return fd.Get() >= 0 &&
           WriteAll(fd.Get(), control_frame::kQuitWord, SteadyClock::now() + kTransferDeadline, -1);
}

ControlChannel::SendResult ControlChannel::Send(const std::filesystem::path& socketPath,
                                                const ControlRequest& request,
                                                std::chrono::milliseconds replyDeadline,
                                                ControlReply& reply) {
    FdGuard fd(Connect(socketPath));
    if (fd.Get() < 0) {
        return errno == ENOENT || errno == ECONNREFUSED ? SendResult::NotListening
                                                        : SendResult::Unreachable;
    }
    if (!WriteAll(fd.Get(), control_frame::EncodeRequest(request),
                  SteadyClock::now() + kTransferDeadline, -1)) {
        return SendResult::Broken;
    }
    const auto deadline = SteadyClock::now() + replyDeadline;
    std::string header;
    std::string body;
    if (!WaitReady(fd.Get(), POLLIN, deadline, -1)) {
        return SendResult::TimedOut;
    }
    if (!ReadExact(fd.Get(), control_frame::kHeaderSize, header, deadline, -1)) {
        return SendResult::Broken;
    }
    const auto length = control_frame::ParseHeader(header, control_frame::kReplyTag);
    if (!length || !ReadExact(fd.Get(), *length, body, deadline, -1)) {
        return SendResult::Broken;
    }
    auto decoded = control_frame::DecodeReply(body);
    if (!decoded) {
        return SendResult::Broken;
    }
    reply = std::move(*decoded);
    return SendResult::Replied;
}

}  // namespace platform
