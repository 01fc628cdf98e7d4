#include "platform/winsock/SocketEntry.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/winsock/AsyncNotifier.h"
#include "platform/winsock/ErrorMapping.h"

namespace winsock {

SocketEntry::SocketEntry(Socket socketId, int descriptor, int socketType)
    : id(socketId), fd(descriptor), type(socketType) {}

SocketEntry::~SocketEntry() {
    ::close(fd);
}

bool SocketEntry::SettleConnectLocked() {
    if (!connectPending) {
        return true;
    }
    pollfd probe{fd, POLLOUT, 0};
    if (::poll(&probe, 1, 0) <= 0 || (probe.revents & (POLLOUT | POLLERR | POLLHUP)) == 0) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    connectPending = false;
    if (error == 0) {
        connected = true;
    } else {
        connectError = FromErrno(error);
    }
    // Whoever learns the outcome first (select, a receive, the notifier) tells the window, once.
    AsyncNotifier::Instance().ConnectSettledLocked(*this, error == 0 ? 0 : connectError);
    return true;
}

}  // namespace winsock
