#include "smtpwire/Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "smtpwire/Errors.h"

namespace smtpwire {

namespace {

constexpr std::size_t kChunk = 16 * 1024;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 24 * 3600 * 1000));
}

bool IsAddress(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

}  // namespace

Connection::~Connection() {
    ssl.reset();
    if (socket >= 0) {
        ::close(socket);
    }
}

bool Connection::Wait(short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsUntil(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            return Fail(kErrorTimeout, false);
        }
        if (errno != EINTR) {
            return Fail(kErrorTransport, false);
        }
    }
}

bool Connection::Open(const std::string& host, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        return Fail(kErrorHostName, false, host);
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    SetError(kErrorConnect);
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        const int candidate =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (candidate < 0) {
            continue;
        }
        socket = candidate;
        if (::connect(candidate, entry->ai_addr, entry->ai_addrlen) == 0) {
            return true;
        }
        if (errno == EINPROGRESS && Wait(POLLOUT, deadline)) {
            int error = 0;
            socklen_t length = sizeof(error);
            if (::getsockopt(candidate, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                return true;
            }
            SetError(kErrorConnect, std::string(host) + ": " + ::strerror(error));
        } else if (LastError() != kErrorTimeout) {
            SetError(kErrorConnect, std::string(host) + ": " + ::strerror(errno));
        }
        ::close(candidate);
        socket = -1;
        if (LastError() == kErrorTimeout) {
            return false;
        }
    }
    return false;
}

bool Connection::PeerIsLoopback() const {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr);
    }
    return false;
}

void Connection::Shutdown() {
    if (socket >= 0) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

bool Connection::SendRaw(std::string_view data, Clock::time_point deadline) {
    while (!data.empty()) {
        const auto sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(POLLOUT, deadline)) {
                return false;
            }
            continue;
        }
        return Fail(errno == EPIPE || errno == ECONNRESET ? kErrorClosed : kErrorTransport, false);
    }
    return true;
}

bool Connection::ReceiveRaw(Clock::time_point deadline) {
    char chunk[kChunk];
    for (;;) {
        const auto received = ::recv(socket, chunk, sizeof(chunk), 0);
        if (received > 0) {
            raw.append(chunk, static_cast<std::size_t>(received));
            return true;
        }
        if (received == 0) {
            return Fail(kErrorClosed, false);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Fail(errno == ECONNRESET ? kErrorClosed : kErrorTransport, false);
        }
        if (!Wait(POLLIN, deadline)) {
            return false;
        }
    }
}

bool Connection::FlushTls(Clock::time_point deadline) {
    char chunk[kChunk];
    while (BIO_ctrl_pending(toNetwork) > 0) {
        const int taken = BIO_read(toNetwork, chunk, sizeof(chunk));
        if (taken <= 0) {
            break;
        }
        if (!SendRaw(std::string_view(chunk, static_cast<std::size_t>(taken)), deadline)) {
            return false;
        }
    }
    return true;
}

bool Connection::StartTls(const std::string& host, Clock::time_point deadline) {
    context.reset(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(context.get()) != 1) {
        return Fail(kErrorTls, false, "cannot prepare OpenSSL");
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    ssl.reset(SSL_new(context.get()));
    fromNetwork = BIO_new(BIO_s_mem());
    toNetwork = BIO_new(BIO_s_mem());
    if (!ssl || !fromNetwork || !toNetwork) {
        BIO_free(fromNetwork);
        BIO_free(toNetwork);
        ssl.reset();
        return Fail(kErrorTls, false, "cannot prepare OpenSSL");
    }
    BIO_set_mem_eof_return(fromNetwork, -1);
    SSL_set_bio(ssl.get(), fromNetwork, toNetwork);
    SSL_set_connect_state(ssl.get());
    bool named;
    if (IsAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str()) == 1;
    } else {
        named = SSL_set_tlsext_host_name(ssl.get(), host.c_str()) == 1 &&
                SSL_set1_host(ssl.get(), host.c_str()) == 1;
    }
    if (!named) {
        return Fail(kErrorTls, false, "cannot check the name " + host);
    }
    // Plain bytes that came after the server's go-ahead were never protected: dropped.
    raw.clear();
    plain.clear();
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl.get());
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl.get(), result);
        if (!FlushTls(deadline)) {
            return false;
        }
        if (error == SSL_ERROR_NONE) {
            return true;
        }
        if (error != SSL_ERROR_WANT_READ) {
            const long verified = SSL_get_verify_result(ssl.get());
            if (verified != X509_V_OK) {
                return Fail(kErrorCertificate, false, X509_verify_cert_error_string(verified));
            }
            char reason[256];
            ERR_error_string_n(ERR_peek_last_error(), reason, sizeof(reason));
            return Fail(kErrorTls, false, reason);
        }
        if (!ReceiveRaw(deadline)) {
            if (LastError() == kErrorClosed) {
                SetError(kErrorTls, "the server closed the connection during the handshake");
            }
            return false;
        }
        BIO_write(fromNetwork, raw.data(), static_cast<int>(raw.size()));
        raw.clear();
    }
}

bool Connection::Send(std::string_view data, Clock::time_point deadline) {
    if (!ssl) {
        return SendRaw(data, deadline);
    }
    ERR_clear_error();
    // With memory buffers a write never waits: it encrypts everything at once.
    if (!data.empty() && SSL_write(ssl.get(), data.data(), static_cast<int>(data.size())) !=
                             static_cast<int>(data.size())) {
        return Fail(kErrorTls, false, "cannot encrypt");
    }
    return FlushTls(deadline);
}

bool Connection::FillBuffer(Clock::time_point deadline) {
    if (!ssl) {
        if (!ReceiveRaw(deadline)) {
            return false;
        }
        plain += raw;
        raw.clear();
        return true;
    }
    char chunk[kChunk];
    for (;;) {
        ERR_clear_error();
        const int result = SSL_read(ssl.get(), chunk, sizeof(chunk));
        if (result > 0) {
            plain.append(chunk, static_cast<std::size_t>(result));
            return true;
        }
        const int error = SSL_get_error(ssl.get(), result);
        if (!FlushTls(deadline)) {
            return false;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            return Fail(kErrorClosed, false);
        }
        if (error != SSL_ERROR_WANT_READ) {
            return Fail(kErrorTls, false, "broken TLS session");
        }
        if (!ReceiveRaw(deadline)) {
            return false;
        }
        BIO_write(fromNetwork, raw.data(), static_cast<int>(raw.size()));
        raw.clear();
    }
}

bool Connection::ReadLine(std::string& line, std::size_t limit, Clock::time_point deadline) {
    line.clear();
    for (;;) {
        const std::size_t end = plain.find('\n');
        const std::size_t usable = end == std::string::npos ? plain.size() : end;
        if (line.size() < limit) {
            line.append(plain, 0, std::min(usable, limit - line.size()));
        }
        if (end != std::string::npos) {
            plain.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
        plain.clear();
        if (!FillBuffer(deadline)) {
            return false;
        }
    }
}

}  // namespace smtpwire
