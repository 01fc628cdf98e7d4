#include "platform/QuitChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace platform {

namespace {

constexpr char kQuitWord[] = "quit";

sockaddr_un MakeAddress(const std::filesystem::path& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = socketPath.string();
    if (text.size() >= sizeof(address.sun_path)) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(),
                                "Socket path too long: " + text);
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

QuitChannel::QuitChannel(std::filesystem::path socketPath, std::function<void()> onQuit)
    : path(std::move(socketPath)), handler(std::move(onQuit)) {
    const sockaddr_un address = MakeAddress(path);
    ::unlink(path.c_str());
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0 || ::pipe2(wakeFds, O_CLOEXEC) != 0 ||
        ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd, 4) != 0) {
        const int error = errno;
        CloseIfOpen(listenFd);
        CloseIfOpen(wakeFds[0]);
        CloseIfOpen(wakeFds[1]);
        throw std::system_error(error, std::generic_category(),
                                "Cannot listen at " + path.string());
    }
    listener = std::thread([this] { Listen(); });
}

QuitChannel::~QuitChannel() {
    if (wakeFds[1] >= 0) {
        const char stop = 's';
        [[maybe_unused]] const auto written = ::write(wakeFds[1], &stop, 1);
    }
    if (listener.joinable()) {
        listener.join();
    }
    CloseIfOpen(listenFd);
    CloseIfOpen(wakeFds[0]);
    CloseIfOpen(wakeFds[1]);
    ::unlink(path.c_str());
}

void QuitChannel::Listen() {
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
        // A short, bounded read: anybody on this machine may connect.
        char word[sizeof(kQuitWord)] = {};
        pollfd peerFd{peer, POLLIN, 0};
        ssize_t got = 0;
        if (::poll(&peerFd, 1, 1000) > 0) {
            got = ::read(peer, word, sizeof(word) - 1);
        }
        ::close(peer);
        if (got == static_cast<ssize_t>(sizeof(kQuitWord) - 1) &&
            std::memcmp(word, kQuitWord, sizeof(kQuitWord) - 1) == 0) {
            handler();
        }
    }
}

bool QuitChannel::RequestQuit(const std::filesystem::path& socketPath) {
    sockaddr_un address{};
    try {
        address = MakeAddress(socketPath);
    } catch (const std::system_error&) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool sent = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        sent = ::write(fd, kQuitWord, sizeof(kQuitWord) - 1) ==
               static_cast<ssize_t>(sizeof(kQuitWord) - 1);
    }
    ::close(fd);
    return sent;
}

}  // namespace platform
