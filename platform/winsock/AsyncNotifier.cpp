#include "platform/winsock/AsyncNotifier.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/windows/MessageWindows.h"
#include "platform/winsock/ErrorMapping.h"
#include "platform/winsock/SocketTable.h"

namespace winsock {

namespace {

// The Winsock error with which the peer ended a stream whose descriptor reported input but
// holds no data: 0 for an orderly close, -1 when nothing has ended after all.
int PeerCloseError(int fd) {
    char byte;
    const auto received = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (received == 0) {
        return 0;
    }
    if (received > 0 || errno == EAGAIN || errno == EINTR) {
        return -1;
    }
    return FromErrno(errno);
}

int BytesWaiting(int fd) {
    int count = 0;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

}  // namespace

AsyncNotifier& AsyncNotifier::Instance() {
    // Never destroyed: its thread runs until the process ends.
    static auto* const notifier = new AsyncNotifier;
    return *notifier;
}

AsyncNotifier::AsyncNotifier() : epollFd(::epoll_create1(EPOLL_CLOEXEC)) {}

void AsyncNotifier::SelectLocked(SocketEntry& entry, platform::WindowHandle window,
                                 std::uint32_t message, std::uint32_t events) {
    entry.window = events ? window : nullptr;
    entry.message = events ? message : 0;
    entry.events = window ? events : 0;
    entry.armed = entry.events;
    entry.peerClosed = false;
    entry.hangupSeen = false;
    UpdateLocked(entry);
}

void AsyncNotifier::RearmLocked(SocketEntry& entry, std::uint32_t bits) {
    if ((entry.armed & bits) == bits) {
        return;
    }
    entry.armed |= bits;
    UpdateLocked(entry);
}

std::uint32_t AsyncNotifier::InterestLocked(const SocketEntry& entry) {
    if (entry.closed || !entry.window || !entry.events || entry.peerClosed) {
        return 0;
    }
    const std::uint32_t wanted = entry.events & entry.armed;
    if (entry.listening) {
        return (wanted & WS_FD_ACCEPT) ? static_cast<std::uint32_t>(EPOLLIN) : 0;
    }
    if (entry.connectPending) {
        return EPOLLOUT;
    }
    std::uint32_t interest = 0;
    if (entry.type == WS_SOCK_STREAM) {
        if (!entry.connected) {
            return 0;
        }
        if (wanted & WS_FD_READ) {
            interest |= EPOLLIN | EPOLLRDHUP;
        } else if ((wanted & WS_FD_CLOSE) && !(entry.events & WS_FD_READ)) {
            // Without read notifications the close is all there is to watch for; with them it
            // is found once the reader has taken the data and re-enabled FD_READ.
            interest |= EPOLLRDHUP;
        }
    } else if (wanted & WS_FD_READ) {
        interest |= EPOLLIN;
    }
    if (wanted & WS_FD_WRITE) {
        interest |= EPOLLOUT;
    }
    // A hang-up is reported whatever the interest; until the reader re-enables FD_READ there is
    // nothing to tell, and watching would only repeat it.
    if (entry.hangupSeen && !(interest & EPOLLIN)) {
        return 0;
    }
    return interest;
}

void AsyncNotifier::UpdateLocked(SocketEntry& entry) {
    const std::uint32_t interest = InterestLocked(entry);
    if (interest == entry.watchedMask) {
        return;
    }
    if (interest == 0) {
        ::epoll_ctl(epollFd, EPOLL_CTL_DEL, entry.fd, nullptr);
        entry.watchedMask = 0;
        return;
    }
    if (!EnsureRunning()) {
        return;
    }
    epoll_event watch{};
    watch.events = interest;
    watch.data.u64 = static_cast<std::uint32_t>(entry.id);
    const int operation = entry.watchedMask ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(epollFd, operation, entry.fd, &watch) == 0) {
        entry.watchedMask = interest;
    }
}

bool AsyncNotifier::EnsureRunning() {
    try {
        std::call_once(started, [this] { std::thread([this] { Run(); }).detach(); });
        return true;
    } catch (const std::system_error&) {
        // Not started; the next request tries again.
        return false;
    }
}

bool AsyncNotifier::Available() {
    return EnsureRunning();
}

void AsyncNotifier::ConnectSettledLocked(SocketEntry& entry, int error) {
    if (entry.window && (entry.events & WS_FD_CONNECT)) {
        PostLocked(entry, WS_FD_CONNECT, error);
    }
    if (error != 0) {
        entry.peerClosed = true;
    }
    UpdateLocked(entry);
}

void AsyncNotifier::Run() {
    constexpr int kBatch = 64;
    epoll_event ready[kBatch];
    for (;;) {
        const int count = ::epoll_wait(epollFd, ready, kBatch, -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < count; ++i) {
            const auto id = static_cast<Socket>(ready[i].data.u64);
            const auto entry = SocketTable::Instance().Find(id);
            if (!entry) {
                continue;
            }
            std::lock_guard lock(entry->mutex);
            HandleLocked(*entry, ready[i].events);
        }
    }
}

void AsyncNotifier::HandleLocked(SocketEntry& entry, std::uint32_t ready) {
    if (!entry.closed && entry.window && entry.events) {
        const std::uint32_t wanted = entry.events & entry.armed;
        if (entry.listening) {
            if ((ready & EPOLLIN) && (wanted & WS_FD_ACCEPT)) {
                PostLocked(entry, WS_FD_ACCEPT, 0);
                entry.armed &= ~WS_FD_ACCEPT;
            }
        } else if (entry.connectPending) {
            entry.SettleConnectLocked();
        } else if (entry.type == WS_SOCK_STREAM) {
            // A refused connect (settled elsewhere) was told as FD_CONNECT, not as a close.
            if (!entry.peerClosed) {
                HandleStreamLocked(entry, ready);
            }
        } else {
            if ((ready & EPOLLIN) && (wanted & WS_FD_READ)) {
                PostLocked(entry, WS_FD_READ, 0);
                entry.armed &= ~WS_FD_READ;
            }
            if ((ready & EPOLLOUT) && (wanted & WS_FD_WRITE)) {
                PostLocked(entry, WS_FD_WRITE, 0);
                entry.armed &= ~WS_FD_WRITE;
            }
            if (ready & EPOLLERR) {
                // An ICMP error on a datagram socket; reading it clears the condition.
                int error = 0;
                socklen_t length = sizeof(error);
                ::getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            }
        }
    }
    UpdateLocked(entry);
}

void AsyncNotifier::HandleStreamLocked(SocketEntry& entry, std::uint32_t ready) {
    const std::uint32_t wanted = entry.events & entry.armed;
    if (ready & (EPOLLHUP | EPOLLERR)) {
        entry.hangupSeen = true;
    }
    if (ready & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        const int waiting = BytesWaiting(entry.fd);
        if (waiting > 0 && (wanted & WS_FD_READ)) {
            PostLocked(entry, WS_FD_READ, 0);
            entry.armed &= ~WS_FD_READ;
        } else if (waiting == 0 || !(entry.events & WS_FD_READ)) {
            const int error = waiting == 0 ? PeerCloseError(entry.fd) : 0;
            if (error >= 0) {
                if (wanted & WS_FD_CLOSE) {
                    PostLocked(entry, WS_FD_CLOSE, error);
                }
                entry.peerClosed = true;
                return;
            }
        }
    }
    if ((ready & EPOLLOUT) && (entry.events & entry.armed & WS_FD_WRITE)) {
        PostLocked(entry, WS_FD_WRITE, 0);
        entry.armed &= ~WS_FD_WRITE;
    }
}

void AsyncNotifier::PostLocked(const SocketEntry& entry, std::uint32_t event, int error) {
    // A window that is gone simply gets nothing, as in Winsock.
    platform::PostMessage(entry.window, entry.message, static_cast<std::uintptr_t>(entry.id),
                          MakeSelectReply(event, error));
}

}  // namespace winsock
