#include "popserver/PopServerSession.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <vector>

#include "core/EventReporter.h"
#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/LetterBoxKey.h"
#include "popserver/PeerOwner.h"
#include "popserver/PopDataReply.h"
#include "popserver/PostOfficeLetterBoxProvider.h"

namespace {

constexpr int kReadSize = 64;
constexpr std::uint32_t kReadSliceMilliseconds = 200;

}  // namespace

PopServerSession::PopServerSession(ThreadSocketServer& serverIn, PopPostOffice& postOffice,
                                   std::shared_ptr<EventReporter> reporterIn,
                                   RefusalLog refusalLogIn, std::chrono::milliseconds idleLimitIn)
    : ThreadSocketServerSession(serverIn),
      mailDrop(std::make_shared<PostOfficeLetterBoxProvider>(postOffice)),
      reporter(std::move(reporterIn)),
      refusalLog(std::move(refusalLogIn)),
      idleLimit(idleLimitIn) {
    reader.SetHandler(this);
    SetWriteLimit(idleLimit);
}

void PopServerSession::RequestStop() {
    stopRequested = true;
    state = Stopping;
}

void PopServerSession::OnSessionStart() {
    reporter->UserConnected();
}

void PopServerSession::OnSessionEnd() {
    reporter->UserDisconnected();
}

void PopServerSession::Serve() {
    ThreadDataScope threadData;
    state = stopRequested.load() ? Stopping : Running;
    userName.clear();
    reader.Clear();
    try {
        if (AdmitPeer()) {
            Reply("+OK Welcome to Moxel");
            RunRequestLoop();
        }
    } catch (...) {
        // A lost client, a failed write, a time-out: the conversation is over; marks not applied
        // by QUIT are dropped below.
    }
    try {
        if (mailDrop.IsLoggedIn()) {
            mailDrop.Logout();
        }
    } catch (const std::exception& failure) {
        reporter->ErrorOccurred(
            Format("Local POP3 server: closing the inbox failed: %1%", failure.what()));
    }
    state = Ended;
}

bool PopServerSession::AdmitPeer() {
    std::uint32_t peerAddress = 0;
    std::uint32_t peerPort = 0;
    std::uint32_t localAddress = 0;
    std::uint32_t localPort = 0;
    std::optional<uid_t> owner;
    if (connection.GetPeerAddress(peerAddress, peerPort) &&
        connection.GetLocalAddress(localAddress, localPort)) {
        owner = FindPeerOwner(peerAddress, peerPort, localAddress, localPort);
    }
    if (owner && *owner == geteuid()) {
        return true;
    }
    if (refusalLog) {
        refusalLog(
            Format("Local POP3 server: refused a connection from %1%:%2% (%3%); it is not "
                   "from user %4%",
                   CInet::FormatAddress(peerAddress), peerPort,
                   owner ? Format("user %1%", *owner) : std::string("owner unknown"), geteuid()));
    }
    Reply("-ERR Access denied: this server serves only its own user");
    return false;
}

void PopServerSession::RunRequestLoop() {
    while (state.load() == Running) {
        ReadAndHandle();
    }
}

void PopServerSession::ReadAndHandle() {
    if (!WaitForBytes()) {
        return;
    }
    std::array<char, kReadSize> bytes{};
    const int received = connection.Read(bytes.data(), kReadSize);
    if (received <= 0) {
        throw Exception("Connection to client lost");
    }
    const char* data = bytes.data();
    std::size_t length = static_cast<std::size_t>(received);
    // After a failed line, the lines that came with it are handled before the next read: a
    // client that sent several requests at once must not wait for an answer to the rest.
    for (;;) {
        try {
            reader.Feed(data, length);
            return;
        } catch (const MailDrop::LoginFailureException&) {
            Reply("-ERR Authorization error");
        } catch (const MailDrop::LoggedOutException&) {
            Reply("-ERR Mailbox not ready");
        } catch (const MailDrop::InvalidLetterIndexException&) {
            Reply("-ERR Invalid message number");
        } catch (const MailDrop::LetterDeletedException&) {
            Reply("-ERR Message deleted");
        } catch (const NonFatalError& failure) {
            Reply(Format("-ERR %1%", failure.what()));
        }
        data = nullptr;
        length = 0;
        if (state.load() != Running) {
            return;
        }
    }
}

bool PopServerSession::WaitForBytes() {
    const auto deadline = std::chrono::steady_clock::now() + idleLimit;
    while (!connection.IsReadable(kReadSliceMilliseconds)) {
        if (state.load() != Running) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw Exception("Connection to client lost");
        }
    }
    return true;
}

void PopServerSession::HandleCommand(const std::string& line) {
    if (state.load() != Running) {
        // Requests sent behind QUIT, or after a stop request, are not carried out.
        return;
    }
    reporter->RequestReceived(line);
    PopServerCommand::Parse(line).Dispatch(*this);
}

void PopServerSession::Reply(const std::string& line) {
    reporter->ResponseSent(line);
    WriteLine(line);
}

void PopServerSession::ReplyLines(const std::vector<std::string>& lines) {
    std::string wire;
    for (const auto& line : lines) {
        reporter->ResponseSent(line);
        wire += line + "\r\n";
    }
    WriteText(wire);
}

void PopServerSession::SendData(const std::string& text) {
    reporter->ResponseSent("+OK");
    reporter->ResponseDataSent(text);
    // The final line is announced like any reply line but goes out with the data: the status
    // line, the data and the end in one buffer, so that no short write waits for the client's
    // delayed acknowledgement (Nagle) of the one before, some 40 ms per message.
    reporter->ResponseSent(".");
    WriteText(PopDataReply(text));
}

void PopServerSession::User(const std::string& name) {
    if (!userName.empty()) {
        throw NonFatalError("Authorization error");
    }
    userName = name;
    Reply("+OK");
}

void PopServerSession::Pass(const std::string& password) {
    if (userName.empty()) {
        throw NonFatalError("Authorization error");
    }
    mailDrop.Login(userName, password, kLoginTimeoutSeconds);
    Reply("+OK");
    reporter->MailProgramLoggedIn(LetterBoxKey::Parse(userName));
}

void PopServerSession::Stat() {
    Reply(Format("+OK %1% %2%", mailDrop.GetUndeletedCount(), mailDrop.GetUndeletedSize()));
}

void PopServerSession::ListAll() {
    if (!mailDrop.IsLoggedIn()) {
        throw MailDrop::LoggedOutException();
    }
    std::vector<std::string> lines{"+OK"};
    for (int index = 0; index < mailDrop.GetLetterCount(); ++index) {
        if (!mailDrop.IsDeleted(index)) {
            lines.push_back(Format("%1% %2%", index + 1, mailDrop.GetLetterSize(index)));
        }
    }
    lines.emplace_back(".");
    ReplyLines(lines);
}

void PopServerSession::List(int n) {
    Reply(Format("+OK %1% %2%", n, mailDrop.GetLetterSize(n - 1)));
}

void PopServerSession::UidlAll() {
    if (!mailDrop.IsLoggedIn()) {
        throw MailDrop::LoggedOutException();
    }
    std::vector<std::string> lines{"+OK"};
    for (int index = 0; index < mailDrop.GetLetterCount(); ++index) {
        if (!mailDrop.IsDeleted(index)) {
            lines.push_back(Format("%1% %2%", index + 1, mailDrop.GetUniqueId(index)));
        }
    }
    lines.emplace_back(".");
    ReplyLines(lines);
}

void PopServerSession::Uidl(int n) {
    Reply(Format("+OK %1% %2%", n, mailDrop.GetUniqueId(n - 1)));
}

void PopServerSession::Retr(int n) {
    SendData(mailDrop.GetLetterText(n - 1));
}

void PopServerSession::Top(int n, int lines) {
    SendData(mailDrop.GetLetterTop(n - 1, lines));
}

void PopServerSession::Dele(int n) {
    mailDrop.MarkDeleted(n - 1);
    Reply("+OK");
}

void PopServerSession::Noop() {
    Reply("+OK");
}

void PopServerSession::Rset() {
    mailDrop.ResetDeleted();
    Reply("+OK");
}

void PopServerSession::Quit() {
    mailDrop.Update();
    Reply("+OK Bye");
    state = Stopping;
    if (!userName.empty() && LetterBoxKey::IsValid(userName)) {
        reporter->MailProgramLoggedOut(LetterBoxKey::Parse(userName));
    }
}

void PopServerSession::InvalidCommand() {
    throw NonFatalError("Invalid command");
}

void PopServerSession::Capa() {
    // Only what this server does: TOP, UIDL, USER/PASS, and answering requests sent together.
    ReplyLines({"+OK Capability list follows", "TOP", "UIDL", "USER", "PIPELINING",
                "IMPLEMENTATION Moxel", "."});
}
