#include "platform/QuitChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace platform {

namespace {

constexpr char kQuitWord[] = "quit";
constexpr mode_t kSocketMode = 0600;

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

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

}  // namespace

QuitChannel::QuitChannel(std::filesystem::path socketPath, std::function<void()> onQuit)
    : path(std::move(socketPath)), handler(std::move(onQuit)) {
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
            ::fchmodat(folderFd, name.c_str(), kSocketMode, 0) != 0 || ::listen(listenFd, 4) != 0) {
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
    if (folderFd >= 0) {
        ::unlinkat(folderFd, path.filename().c_str(), 0);
        CloseIfOpen(folderFd);
    }
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
        if (!IsFromThisUser(peer)) {
            ::close(peer);
            continue;
        }
        // A short, bounded read: a stuck peer must not hold the listener.
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
    int folder = -1;
    sockaddr_un address{};
    try {
        folder = OpenFolder(socketPath);
        address = MakeAddress(socketPath, folder);
    } catch (const std::system_error&) {
        CloseIfOpen(folder);
        return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool sent = false;
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        sent = ::write(fd, kQuitWord, sizeof(kQuitWord) - 1) ==
               static_cast<ssize_t>(sizeof(kQuitWord) - 1);
    }
    CloseIfOpen(fd);
    CloseIfOpen(folder);
    return sent;
}

}  // namespace platform
