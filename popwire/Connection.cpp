// Connecting (with TLS when asked) and disconnecting.
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>

#include "netframe/HostAddress.h"
#include "netframe/LastError.h"
#include "platform/ThreadId.h"
#include "platform/windows/MessageWindows.h"
#include "popwire.h"
#include "popwire/Connecting.h"
#include "popwire/Conversation.h"
#include "popwire/DataReader.h"
#include "popwire/Notification.h"
#include "popwire/PopLibrary.h"
#include "popwire/TlsContext.h"
#include "popwire/TlsSession.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::ClientPointer;
using popwire::PopClient;
using popwire::PopLibrary;

namespace {

constexpr std::uint32_t kHighestPort = 65535;

netframe::Winsock& Winsock() {
    return PopLibrary::Instance().Winsock();
}

// Connects the client's non-blocking socket, waiting up to the client's timeout. False with
// ERROR_POP_CONNECT (refused, unreachable, no answer in time) or ERROR_POP_CANCELED.
bool ConnectSocket(PopClient& client, std::uint32_t address, std::uint16_t port) {
    const winsock::Socket socket = client.socket;
    winsock::SockAddrIn remote{};
    remote.family = winsock::WS_AF_INET;
    remote.port = Winsock().Htons(port);
    remote.address.address = address;
    if (Winsock().Connect(socket, reinterpret_cast<const winsock::SockAddr*>(&remote),
                          sizeof(remote)) == 0) {
        return true;
    }
    if (Winsock().GetLastError() != winsock::WSAEWOULDBLOCK) {
        return Fail(ERROR_POP_CONNECT, false);
    }
    winsock::FdSet writable{1, {socket}};
    winsock::FdSet exceptional{1, {socket}};
    const auto wait = popwire::WithinDeadline(
        client, std::chrono::milliseconds(std::int64_t{client.timeout} * 1000));
    client.busy = true;
    const int ready =
        popwire::SelectUnlessCancelled(client, nullptr, &writable, &exceptional, wait);
    client.busy = false;
    if (ready < 0 && popwire::TakeCancel(client)) {
        return false;
    }
    int pending = 0;
    int length = sizeof(pending);
    // A refused connect also ends the wait; only a socket without error is connected.
    if (ready <= 0 || exceptional.count > 0 ||
        Winsock().GetSockOpt(socket, winsock::WS_SOL_SOCKET, winsock::WS_SO_ERROR,
                             reinterpret_cast<char*>(&pending), &length) != 0 ||
        pending != 0) {
        return Fail(ERROR_POP_CONNECT, false);
    }
    return true;
}

// Runs the TLS handshake over the connected socket and makes the session the client's
// transport. False with the handshake's error.
bool Secure(PopClient& client, std::unique_ptr<popwire::TlsSession> session) {
    popwire::SocketChannel channel(client);
    if (!session->Handshake(channel)) {
        return false;
    }
    client.security = session->Describe();
    client.tls = std::move(session);
    return true;
}

// Reads the greeting; false with ERROR_POP_SERVER unless the server never answered.
bool ReadGreeting(PopClient& client) {
    if (popwire::ReadStatus(client) == 1) {
        return true;
    }
    const std::uint32_t error = netframe::GetLastErrorCode();
    if (error == ERROR_POP_NONE || error == ERROR_POP_UNEXPECTED) {
        netframe::SetLastErrorCode(ERROR_POP_SERVER);
    }
    return false;
}

// Longest capability list read, in bytes: real servers send well under 1 KB.
constexpr std::size_t kCapabilityLimit = 16 * 1024;

// Whether one capability line (RFC 2449) names STLS: its first word, in any case.
bool NamesStls(std::string_view line) {
    const std::string_view word = line.substr(0, line.find_first_of(" \t\r\n"));
    return word.size() == 4 && std::equal(word.begin(), word.end(), "STLS", [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

enum class Offer { Stls, None, Failed };

// Asks for the server's capabilities: Stls when they list STLS, None when they do not or the
// server refuses CAPA, Failed with the last error when the exchange broke the session or the
// list has no end within kCapabilityLimit (ERROR_POP_SERVER).
Offer AskForStls(PopClient& client) {
    if (popwire::SendCommand(client, "CAPA") != 1) {
        return netframe::GetLastErrorCode() == ERROR_POP_NONE ? Offer::None : Offer::Failed;
    }
    popwire::BeginMultiLine(client);
    std::string list;
    char piece[256];
    while (client.multiLine) {
        const int read = popwire::ReadServerData(client, piece, sizeof(piece));
        if (read < 0) {
            return Offer::Failed;
        }
        list.append(piece, static_cast<std::size_t>(read));
        if (list.size() > kCapabilityLimit) {
            popwire::Break(client);
            return Fail(ERROR_POP_SERVER, Offer::Failed);
        }
    }
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        if (NamesStls(std::string_view(list).substr(start, end - start))) {
            return Offer::Stls;
        }
        start = end + 1;
    }
    return Offer::None;
}

// Switches the connected session to TLS with STLS. False with the last error.
bool StartTls(PopClient& client, std::unique_ptr<popwire::TlsSession> session) {
    if (popwire::SendCommand(client, "STLS") != 1) {
        return popwire::Refused(ERROR_POP_SECURE_CONTEXT);
    }
    // Bytes that came before the handshake are not from the TLS server we check: a
    // man in the middle could have put them there (the STARTTLS injection).
    client.received = {};
    return Secure(client, std::move(session));
}

// Connects the socket without waiting: true when the connection is made or under way (the
// outcome comes as FD_CONNECT); false with ERROR_POP_CONNECT.
bool StartConnect(PopClient& client, std::uint32_t address, std::uint16_t port) {
    winsock::SockAddrIn remote{};
    remote.family = winsock::WS_AF_INET;
    remote.port = Winsock().Htons(port);
    remote.address.address = address;
    if (Winsock().Connect(client.socket, reinterpret_cast<const winsock::SockAddr*>(&remote),
                          sizeof(remote)) == 0) {
        // Made at once: the window is told as it would be of one that took its time.
        popwire::AnnounceConnect(client);
        return true;
    }
    return Winsock().GetLastError() == winsock::WSAEWOULDBLOCK ? true
                                                               : Fail(ERROR_POP_CONNECT, false);
}

}  // namespace

namespace popwire {

bool SettleSecurity(std::uint32_t& port, std::uint32_t& options) {
    if (port > kHighestPort) {
        return Fail(ERROR_POP_PARAMETER, false);
    }
    // Security asked for without a port means POP3S (995).
    if (port == 0 && (options & POP_OPTION_SECURE)) {
        port = IPPORT_POP3S;
    }
    // Port 995 speaks TLS from the first byte (RFC 8314); STLS belongs to port 110.
    if (port == IPPORT_POP3S) {
        options |= POP_OPTION_SECURE | POP_OPTION_SECURE_NOEXT;
    }
    if (options & POP_OPTION_SECURE_NOEXT) {
        options |= POP_OPTION_SECURE;
    }
    if ((options & POP_OPTION_SECURE) && !TlsContext::Prepare()) {
        return false;
    }
    if (port == 0) {
        port = (options & POP_OPTION_SECURE_NOEXT) ? IPPORT_POP3S : IPPORT_POP3;
    }
    return true;
}

bool OpenSocket(PopClient& client, std::uint32_t timeout, std::uint32_t& address) {
    const auto resolved = netframe::ResolveHost(Winsock(), client.hostName.c_str());
    if (!resolved) {
        return Fail(ERROR_POP_HOSTNAME, false);
    }
    address = *resolved;
    const winsock::Socket socket = Winsock().CreateSocket(
        winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, winsock::WS_IPPROTO_TCP);
    if (socket == winsock::kInvalidSocket) {
        return Fail(ERROR_POP_SOCKET, false);
    }
    client.socket = socket;
    std::uint32_t nonBlocking = 1;
    Winsock().IoctlSocket(socket, winsock::WS_FIONBIO, &nonBlocking);
    client.timeout = timeout != 0 ? timeout : kDefaultTimeout;
    if (client.options & POP_OPTION_SECURE) {
        client.handshakeSession = TlsSession::Create(client.hostName);
        if (!client.handshakeSession) {
            return false;
        }
    }
    const bool tlsFirst = (client.options & POP_OPTION_SECURE_NOEXT) != 0;
    client.replyPending = !tlsFirst;
    client.greetingPending = true;
    return true;
}

bool CompleteConnection(PopClient& client) {
    const bool tlsFirst = (client.options & POP_OPTION_SECURE_NOEXT) != 0;
    const bool stls = (client.options & POP_OPTION_SECURE) && !tlsFirst;
    std::unique_ptr<TlsSession> session = std::move(client.handshakeSession);
    if (tlsFirst) {
        if (!Secure(client, std::move(session))) {
            return false;
        }
        client.replyPending = true;
    }
    if (!ReadGreeting(client)) {
        return false;
    }
    if (stls) {
        return StartTls(client, std::move(session));
    }
    if (!(client.options & POP_OPTION_SECURE_IFOFFERED)) {
        return true;
    }
    switch (AskForStls(client)) {
        case Offer::None:
            return true;
        case Offer::Failed:
            return false;
        case Offer::Stls:
            break;
    }
    // Offered: from here on a failure fails the connection. Falling back to plain text would
    // give the password to anyone on the way who breaks the TLS start.
    if (!TlsContext::Prepare()) {
        return false;
    }
    session = TlsSession::Create(client.hostName);
    return session && StartTls(client, std::move(session));
}

}  // namespace popwire

namespace {

// The asynchronous connect up to the moment it waits: the socket notifies the window, the
// connection is under way and the deadline is set. False with the last error.
bool BeginAsyncConnect(const ClientPointer& client, INETWINDOW window, std::uint32_t message,
                       std::uint32_t timeout, std::uint16_t port) {
    std::uint32_t address = 0;
    if (!popwire::OpenSocket(*client, timeout, address) ||
        popwire::AsyncNotify(client, window, message, popwire::kConnectNotifications) != 0) {
        return false;
    }
    client->connectPending = true;
    if (!StartConnect(*client, address, port)) {
        return false;
    }
    const std::uint32_t seconds = timeout != 0 ? timeout : popwire::kDefaultTimeout;
    return popwire::ArmDeadline(*client, std::chrono::milliseconds(std::int64_t{seconds} * 1000))
               ? true
               : Fail(ERROR_POP_MEMORY, false);
}

// A client of the calling thread for `host`, or null with the last error.
ClientPointer NewClient(const char* host, std::uint32_t& port, std::uint32_t& options) {
    if (!host || !*host) {
        return Fail(ERROR_POP_HOSTNAME, nullptr);
    }
    if (!popwire::SettleSecurity(port, options)) {
        return nullptr;
    }
    return PopLibrary::Instance().CreateClient(host, options);
}

}  // namespace

extern "C" {

HCLIENT PopConnectExA(const char* host, std::uint32_t port, std::uint32_t timeout,
                      std::uint32_t options) {
    const ClientPointer client = NewClient(host, port, options);
    if (!client) {
        return INVALID_CLIENT;
    }
    // The connection, the handshake and the greeting share one time-out, however slowly the
    // server trickles its bytes.
    const std::uint32_t seconds = timeout != 0 ? timeout : popwire::kDefaultTimeout;
    const popwire::OperationDeadline deadline(
        *client, std::chrono::milliseconds(std::int64_t{seconds} * 1000));
    std::uint32_t address = 0;
    if (!popwire::OpenSocket(*client, timeout, address) ||
        !ConnectSocket(*client, address, static_cast<std::uint16_t>(port)) ||
        !popwire::CompleteConnection(*client)) {
        PopLibrary::Instance().Close(client, false);
        return INVALID_CLIENT;
    }
    return client->handle;
}

HCLIENT PopAsyncConnectExA(const char* host, std::uint32_t port, std::uint32_t timeout,
                           std::uint32_t options, INETWINDOW window, std::uint32_t message) {
    if (!window) {
        return PopConnectExA(host, port, timeout, options);
    }
    if (host && *host &&
        (!platform::IsWindow(window) || message < platform::WM_USER ||
         platform::GetWindowThreadId(window) != platform::CurrentThreadId())) {
        return Fail(ERROR_POP_PARAMETER, INVALID_CLIENT);
    }
    const ClientPointer client = NewClient(host, port, options);
    if (!client) {
        return INVALID_CLIENT;
    }
    if (!BeginAsyncConnect(client, window, message, timeout, static_cast<std::uint16_t>(port))) {
        PopLibrary::Instance().Close(client, false);
        return INVALID_CLIENT;
    }
    return client->handle;
}
HCLIENT PopAsyncConnectA(const char* host, std::uint32_t port, std::uint32_t timeout,
                         INETWINDOW window, std::uint32_t message) {
    return PopAsyncConnectExA(host, port, timeout, POP_OPTION_NONE, window, message);
}

HCLIENT PopConnectA(const char* host, std::uint32_t port, std::uint32_t timeout) {
    return PopConnectExA(host, port, timeout, POP_OPTION_NONE);
}

int PopDisconnect(HCLIENT handle) {
    const ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    // A partly read message, answers still queued or a server that is gone cannot take QUIT;
    // the connection simply closes (and the server keeps every message).
    if (!popwire::AwaitsServer(*client) && !client->closed && !client->brokenBy) {
        popwire::SendCommand(*client, "QUIT");
    }
    PopLibrary::Instance().Close(client, true);
    return 0;
}

}  // extern "C"
