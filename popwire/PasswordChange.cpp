// Changing the mailbox password over the poppass service (Eudora's poppassd protocol): a
// conversation of numeric reply lines on a connection of its own to the POP3 server's host.
#include <arpa/inet.h>
#include <netdb.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/DataReader.h"
#include "popwire/PopLibrary.h"
#include "popwire/TlsSession.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::PopClient;

namespace {

constexpr std::uint16_t kPoppassPort = 106;
// Longest reply line looked at; the rest of a longer one is dropped.
constexpr int kReplyLineLimit = 511;
constexpr std::string_view kWhiteSpace = " \t\r\n";

netframe::Winsock& Winsock() {
    return popwire::PopLibrary::Instance().Winsock();
}

// The poppass port: MOXEL_POPPASS_PORT when set (a server on another port, as in tests), the
// system's "poppass" TCP service, or 106.
std::uint16_t PoppassPort() {
    if (const char* configured = std::getenv("MOXEL_POPPASS_PORT")) {
        unsigned value = 0;
        const char* end = configured + std::strlen(configured);
        const auto parsed = std::from_chars(configured, end, value);
        if (parsed.ec == std::errc() && parsed.ptr == end && value > 0 && value <= 65535) {
            return static_cast<std::uint16_t>(value);
        }
    }
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r("poppass", "tcp", &entry, buffer, sizeof(buffer), &found) == 0 && found) {
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    }
    return kPoppassPort;
}

// The connection of one password change, in a client record of its own that is never in the
// table: the library's waits, deadlines and line reading work on it as on a POP3 session.
class PoppassConnection {
public:
    explicit PoppassConnection(std::uint32_t timeout) { link.timeout = timeout; }
    ~PoppassConnection() {
        const winsock::Socket socket = link.socket.exchange(winsock::kInvalidSocket);
        if (socket != winsock::kInvalidSocket) {
            Winsock().CloseSocket(socket);
        }
    }
    PoppassConnection(const PoppassConnection&) = delete;
    PoppassConnection& operator=(const PoppassConnection&) = delete;

    // Connects within the time-out; false with ERROR_POP_SOCKET or ERROR_POP_CONNECT.
    bool Connect(std::uint32_t address, std::uint16_t port) {
        const winsock::Socket socket = Winsock().CreateSocket(
            winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, winsock::WS_IPPROTO_TCP);
        if (socket == winsock::kInvalidSocket) {
            return Fail(ERROR_POP_SOCKET, false);
        }
        link.socket = socket;
        std::uint32_t nonBlocking = 1;
        Winsock().IoctlSocket(socket, winsock::WS_FIONBIO, &nonBlocking);
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
        const popwire::OperationDeadline deadline(link, popwire::SendLimit(link));
        if (!popwire::AwaitSocket(link, popwire::Readiness::Write, popwire::SendLimit(link),
                                  ERROR_POP_CONNECT)) {
            return false;
        }
        int pending = 0;
        int length = sizeof(pending);
        if (Winsock().GetSockOpt(socket, winsock::WS_SOL_SOCKET, winsock::WS_SO_ERROR,
                                 reinterpret_cast<char*>(&pending), &length) != 0 ||
            pending != 0) {
            return Fail(ERROR_POP_CONNECT, false);
        }
        return true;
    }

    // The code of the next reply line (its leading number after white space; 0 when it has
    // none), awaited up to the time-out. -1 with the transport's error.
    int ReadReplyCode() {
        const popwire::OperationDeadline deadline(link, popwire::SendLimit(link));
        char line[kReplyLineLimit];
        const int length =
            popwire::ReadServerData(link, line, kReplyLineLimit, popwire::Completeness::WholeLine);
        if (length < 0) {
            return -1;
        }
        std::string_view text(line, static_cast<std::size_t>(length));
        const auto first = text.find_first_not_of(kWhiteSpace);
        text.remove_prefix(first == std::string_view::npos ? text.size() : first);
        int code = 0;
        std::from_chars(text.data(), text.data() + text.size(), code);
        return code;
    }

    // Sends "word argument" CR LF within the time-out; false with the transport's error.
    bool Send(std::string_view word, std::string_view argument) {
        const popwire::OperationDeadline deadline(link, popwire::SendLimit(link));
        std::string line(word);
        line += ' ';
        line += argument;
        line += "\r\n";
        return popwire::SendData(link, line.data(), static_cast<int>(line.size()));
    }

private:
    PopClient link;
};

// Whether a reply code (or -1 for a transport failure) lies in [low, high]; false with
// ERROR_POP_CHANGEPASS for a code outside, the transport's error kept for -1.
bool Accepted(int code, int low, int high) {
    if (code < 0) {
        return false;
    }
    if (code < low || code > high) {
        return Fail(ERROR_POP_CHANGEPASS, false);
    }
    return true;
}

bool Converse(PoppassConnection& connection, const std::string& user,
              const std::string& oldPassword, const std::string& newPassword) {
    if (!Accepted(connection.ReadReplyCode(), 200, 299) || !connection.Send("USER", user)) {
        return false;
    }
    const int userReply = connection.ReadReplyCode();
    if (!Accepted(userReply, 200, 399)) {
        return false;
    }
    // A server that answers the user name with a 2xx code sends one more line before it asks
    // for the password (a 3xx code is itself that question).
    if (userReply <= 299 && connection.ReadReplyCode() < 0) {
        return false;
    }
    return connection.Send("PASS", oldPassword) && Accepted(connection.ReadReplyCode(), 200, 299) &&
           connection.Send("NEWPASS", newPassword) &&
           Accepted(connection.ReadReplyCode(), 200, 299);
}

// A text that fits on one command line of its own.
bool UsableText(const char* text) {
    return text && *text && std::string_view(text).find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

extern "C" {

int PopChangePasswordA(HCLIENT handle, const char* user, const char* oldPassword,
                       const char* newPassword) {
    const popwire::ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return 0;
    }
    if (!UsableText(user) || !UsableText(oldPassword) || !UsableText(newPassword) ||
        std::strcmp(oldPassword, newPassword) == 0) {
        return Fail(ERROR_POP_PARAMETER, 0);
    }
    // The same server as the session's, whatever name it was reached by.
    winsock::SockAddrIn peer{};
    int length = sizeof(peer);
    if (Winsock().GetPeerName(client->socket, reinterpret_cast<winsock::SockAddr*>(&peer),
                              &length) != 0) {
        return Fail(ERROR_POP_CONNECT, 0);
    }
    PoppassConnection connection(client->timeout);
    if (!connection.Connect(peer.address.address, PoppassPort()) ||
        !Converse(connection, user, oldPassword, newPassword)) {
        return 0;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 1;
}

}  // extern "C"
