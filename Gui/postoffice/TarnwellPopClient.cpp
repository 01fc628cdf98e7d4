#include "postoffice/TarnwellPopClient.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/TimeCard.h"
#include "database/LetterData.h"
#include "popwire.h"

namespace {

// Messages are read in blocks of this size; the stop request is tested after each.
constexpr int kReadBlockSize = 256;
constexpr int kErrorTextSize = 256;
constexpr int kMessageIdSize = 128;
// The id listing is read in blocks of this size (the library's receive buffer).
constexpr int kListingBlockSize = 4096;
// Commands sent ahead of their answers when the server takes them in a pipeline: enough that
// the server keeps sending while a batch of letters is stored (on loopback, 8 left it idle for
// a third of the download), few enough that a stop or a refusal leaves little in flight.
constexpr std::size_t kPipelineDepth = 32;

// Whether a capability listing (RFC 2449) names PIPELINING: the first word of a line, in any
// case.
bool ListsPipelining(std::string_view listing) {
    constexpr std::string_view kWord = "PIPELINING";
    while (!listing.empty()) {
        const std::size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
        const std::size_t wordEnd = line.find_first_of(" \t\r");
        line = line.substr(0, wordEnd);
        if (line.size() == kWord.size() &&
            std::equal(line.begin(), line.end(), kWord.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            return true;
        }
    }
    return false;
}

}  // namespace

TarnwellPopClient::TarnwellPopClient(const std::string& hostName, const std::string& userName,
                                     const std::string& password, std::int32_t port,
                                     std::int32_t timeoutInSeconds)
    : data(hostName, userName, password, port, timeoutInSeconds) {}

TarnwellPopClient::TarnwellPopClient(std::int64_t id) : data(id) {}

TarnwellPopClient::~TarnwellPopClient() {
    // Closing is all that is left to do; a failure here has nobody to tell.
    CloseSession();
}

bool TarnwellPopClient::CloseSession() {
    if (handle != -1) {
        if (PopDisconnect(handle) == -1) {
            return false;
        }
        handle = -1;
    }
    idListing.reset();
    pipelining = false;
    stopScope.reset();
    return true;
}

void TarnwellPopClient::EndIfStopped(std::uint32_t error) {
    if (error == ERROR_POP_CANCELED) {
        TimeCard::Check();
    }
}

std::string TarnwellPopClient::PopErrorText() {
    // Read before anything else can overwrite the thread's last error.
    const std::uint32_t code = PopGetLastError();
    std::array<char, kErrorTextSize> buffer{};
    std::string text;
    if (PopGetErrorStringA(code, buffer.data(), kErrorTextSize) > 0) {
        text = buffer.data();
    } else {
        text = "Unknown error when communicating with a POP3 server";
    }
    return text + Format(" (Host Name: %1% User Name: %2%)", GetHostName(), GetUserName());
}

void TarnwellPopClient::ThrowPopError() {
    EndIfStopped(PopGetLastError());
    throw Exception(PopErrorText());
}

namespace {

// Why a certificate that failed the check cannot be trusted.
const char* CertificateProblem(std::uint32_t status) {
    switch (status) {
        case SECURITY_CERTIFICATE_NONE:
            return "the server sent no certificate";
        case SECURITY_CERTIFICATE_NOMATCH:
            return "it is made out to another host name";
        case SECURITY_CERTIFICATE_EXPIRED:
            return "it has expired or is not valid yet";
        case SECURITY_CERTIFICATE_REVOKED:
            return "it has been revoked";
        case SECURITY_CERTIFICATE_UNTRUSTED:
            return "it is not signed by an authority this system trusts";
        default:
            return "it is not valid";
    }
}

}  // namespace

SECURITYINFO TarnwellPopClient::Security() {
    SECURITYINFO info{};
    info.dwSize = sizeof(info);
    if (PopGetSecurityInformationA(handle, &info) == -1) {
        ThrowPopError();
    }
    return info;
}

void TarnwellPopClient::NoteUntrustedCertificate() {
    const SECURITYINFO info = Security();
    if (info.dwProtocol != SECURITY_PROTOCOL_NONE &&
        info.dwCertStatus != SECURITY_CERTIFICATE_VALID) {
        warnings.push_back(Format(
            "The certificate of the POP3 server cannot be trusted: %1%; the mail is still "
            "fetched over TLS, which is safer than plain text (Host Name: %2% User Name: %3%)",
            CertificateProblem(info.dwCertStatus), GetHostName(), GetUserName()));
    }
}

std::vector<std::string> TarnwellPopClient::TakeWarnings() {
    return std::exchange(warnings, {});
}

void TarnwellPopClient::ThrowConnectError() {
    const std::uint32_t code = PopGetLastError();
    EndIfStopped(code);
    const bool tlsStart = code == ERROR_POP_SECURE_CONTEXT || code == ERROR_POP_SECURE_INITIALIZE ||
                          code == ERROR_POP_SECURE_CREDENTIALS;
    if (tlsStart && data.GetPort() != kTlsPort) {
        throw Exception(
            "The POP3 server offers TLS (STLS), but the secure connection failed, "
            "so nothing is sent in plain text: " +
            PopErrorText());
    }
    throw Exception(PopErrorText());
}

void TarnwellPopClient::RequireTrustedCertificate() {
    const SECURITYINFO info = Security();
    if (info.dwCertStatus != SECURITY_CERTIFICATE_VALID) {
        // Nothing was sent yet: the password never reaches a server that may not be the right
        // one.
        throw Exception(
            Format("The certificate of the POP3 server cannot be trusted: %1% (Host "
                   "Name: %2% User Name: %3%)",
                   CertificateProblem(info.dwCertStatus), GetHostName(), GetUserName()));
    }
}

void TarnwellPopClient::Connect() {
    // A session left behind by a failed run of this object; it holds nothing of value, and a
    // handle the library no longer knows is dropped as well.
    CloseSession();
    handle = -1;
    idListing.reset();
    warnings.clear();
    stopScope.emplace();
    TimeCard::Check();
    const bool tlsPort = data.GetPort() == kTlsPort;
    // Port 995 is TLS from the first byte whatever the options say.
    handle = PopConnectExA(data.GetHostName().c_str(), static_cast<std::uint32_t>(data.GetPort()),
                           static_cast<std::uint32_t>(data.GetTimeoutInSeconds()),
                           tlsPort ? POP_OPTION_NONE : POP_OPTION_SECURE_IFOFFERED);
    if (handle == -1) {
        ThrowConnectError();
    }
    if (tlsPort) {
        RequireTrustedCertificate();
    } else {
        NoteUntrustedCertificate();
    }
    TimeCard::Check();
    if (PopLoginA(handle, data.GetUserName().c_str(), data.GetPassword().c_str()) == -1) {
        ThrowPopError();
    }
    // The library's default line mode clears the top bit of every byte, which would corrupt
    // every 8-bit message (UTF-8 text, 8bit MIME parts).
    if (PopSetLineMode(handle, POP_MODE_BINARY) == -1) {
        ThrowPopError();
    }
    // Asked once logged in: a server may offer more to a known user (RFC 2449).
    pipelining = OffersPipelining();
}

int TarnwellPopClient::GetMessageCount() {
    const int count = PopGetMessageCount(handle);
    if (count == -1) {
        ThrowPopError();
    }
    return count;
}

void TarnwellPopClient::SendCommand(const char* command, int number) {
    RequireAccepted(PopCommandA(handle, command, std::to_string(number).c_str()));
}

void TarnwellPopClient::RequireAccepted(int result) {
    if (result == 1) {
        return;
    }
    // "-ERR" leaves no error behind: the server refused this message.
    if (PopGetLastError() == ERROR_POP_NONE) {
        PopSetLastError(ERROR_POP_MESGID);
    }
    ThrowPopError();
}

void TarnwellPopClient::QueueCommand(const char* command, int number) {
    if (PopQueueCommandA(handle, command, std::to_string(number).c_str()) != 1) {
        ThrowPopError();
    }
}

std::size_t TarnwellPopClient::CommandsAhead() const {
    return pipelining ? kPipelineDepth : 1;
}

bool TarnwellPopClient::OffersPipelining() {
    if (PopCommandA(handle, "CAPA", nullptr) != 1) {
        if (PopGetLastError() != ERROR_POP_NONE) {
            ThrowPopError();
        }
        // Refused: a server older than the capability list takes one command at a time.
        return false;
    }
    return ListsPipelining(ReadMultiLineAnswer());
}

std::string TarnwellPopClient::ReadMultiLineAnswer() {
    if (PopSetMultiLine(handle, 1) == -1) {
        ThrowPopError();
    }
    std::string text;
    std::array<char, kListingBlockSize> buffer{};
    for (;;) {
        const int read = PopRead(handle, buffer.data(), kListingBlockSize);
        if (read == 0) {
            return text;
        }
        if (read == -1) {
            ThrowPopError();
        }
        TimeCard::Check();
        text.append(buffer.data(), static_cast<std::size_t>(read));
    }
}

void TarnwellPopClient::GetMessage(int index, Letter& letter) {
    ReceiveMessage(index, letter);
    letter.StorePendingText();
}

void TarnwellPopClient::ReceiveMessage(int index, Letter& letter) {
    // The letter's text is replaced only once the whole message has arrived. RETR alone: the
    // size (LIST) is not needed and the id was taken from the session's listing.
    SendCommand("RETR", index + 1);
    ReadMessageText(letter);
}

void TarnwellPopClient::ReadMessageText(Letter& letter) {
    if (PopSetMultiLine(handle, 1) == -1) {
        ThrowPopError();
    }
    letter.ClearPendingText();
    std::array<char, kReadBlockSize> buffer{};
    for (;;) {
        const int read = PopRead(handle, buffer.data(), kReadBlockSize);
        if (read == 0) {
            break;
        }
        if (read == -1) {
            ThrowPopError();
        }
        TimeCard::Check();
        letter.AppendPendingText(std::string_view(buffer.data(), static_cast<std::size_t>(read)));
    }
}

void TarnwellPopClient::ReceiveMessages(const std::vector<int>& indexes, const TakeMessage& take) {
    // The server works on the next messages while the caller stores this one. On a failure or
    // a stop the commands still in flight stay unanswered; the session then ends without QUIT.
    const std::size_t ahead = CommandsAhead();
    std::size_t asked = 0;
    const auto askAhead = [&](std::size_t position) {
        for (; asked < indexes.size() && asked < position + ahead; ++asked) {
            QueueCommand("RETR", indexes[asked] + 1);
        }
    };
    askAhead(0);
    for (std::size_t position = 0; position < indexes.size(); ++position) {
        RequireAccepted(PopReadQueuedReply(handle));
        auto letter = std::make_unique<Letter>();
        ReadMessageText(*letter);
        askAhead(position + 1);
        take(position, std::move(letter));
    }
}

void TarnwellPopClient::DeleteAllMessages() {
    const int count = GetMessageCount();
    std::vector<int> indexes;
    indexes.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        indexes.push_back(index);
    }
    DeleteMessages(indexes);
}

void TarnwellPopClient::DeleteMessages(const std::vector<int>& indexes) {
    const std::size_t ahead = CommandsAhead();
    std::size_t asked = 0;
    for (std::size_t position = 0; position < indexes.size(); ++position) {
        if (TimeCard::IsOver()) {
            UndoDeletions(asked - position);
            TimeCard::Check();
        }
        // DELE alone: the number comes from this session's listing, so no LIST is needed to
        // check it first.
        for (; asked < indexes.size() && asked < position + ahead; ++asked) {
            if (PopQueueCommandA(handle, "DELE", std::to_string(indexes[asked] + 1).c_str()) != 1) {
                FailDeletion(asked - position);
            }
        }
        if (PopReadQueuedReply(handle) != 1) {
            if (PopGetLastError() == ERROR_POP_NONE) {
                PopSetLastError(ERROR_POP_MESGID);
            }
            FailDeletion(asked - position - 1);
        }
    }
}

void TarnwellPopClient::FailDeletion(std::size_t unanswered) {
    // The text first: the reset would overwrite the thread's last error.
    const std::uint32_t code = PopGetLastError();
    const std::string error = PopErrorText();
    UndoDeletions(unanswered);
    EndIfStopped(code);
    throw Exception(error);
}

void TarnwellPopClient::UndoDeletions(std::size_t unanswered) {
    // RSET can only follow the answers of the DELEs in flight. Should they not come, the session
    // is broken and ends without QUIT, which deletes nothing either.
    for (; unanswered > 0; --unanswered) {
        if (PopReadQueuedReply(handle) != 1 && PopGetLastError() != ERROR_POP_NONE) {
            return;
        }
    }
    PopReset(handle);
}

void TarnwellPopClient::Disconnect() {
    if (!CloseSession()) {
        ThrowPopError();
    }
    // PopDisconnect succeeds whatever became of QUIT, and leaves its error behind. A QUIT that
    // a stop cut short may or may not have deleted the marked messages: the caller must not
    // take them as gone.
    EndIfStopped(PopGetLastError());
}

UniqueIdListing TarnwellPopClient::FetchIdListing() {
    const int result = PopCommandA(handle, "UIDL", nullptr);
    if (result != 1) {
        if (PopGetLastError() != ERROR_POP_NONE) {
            ThrowPopError();
        }
        // Refused: each message's id is asked for on its own, as a server without the listing
        // may still answer that.
        return {};
    }
    return UniqueIdListing(ReadMultiLineAnswer());
}

std::string TarnwellPopClient::GetMessageId(int index) {
    // One listing per session: a message's id stays fixed for its life (RFC 1939), and until
    // the session ends the numbers do too.
    if (!idListing) {
        idListing = FetchIdListing();
    }
    if (const std::string* id = idListing->Find(index + 1)) {
        return *id;
    }
    std::array<char, kMessageIdSize> buffer{};
    if (PopGetMessageIdA(handle, index + 1, buffer.data(), kMessageIdSize) == -1) {
        ThrowPopError();
    }
    return buffer.data();
}
