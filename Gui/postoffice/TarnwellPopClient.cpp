#include "postoffice/TarnwellPopClient.h"

#include <array>
#include <cstdint>
#include <string_view>
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
    stopWatch.reset();
    if (handle == -1) {
        return true;
    }
    if (PopDisconnect(handle) == -1) {
        return false;
    }
    handle = -1;
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

void TarnwellPopClient::RequireTrustedCertificate() {
    SECURITYINFO info{};
    info.dwSize = sizeof(info);
    if (PopGetSecurityInformationA(handle, &info) == -1) {
        ThrowPopError();
    }
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
    handle = PopConnectA(data.GetHostName().c_str(), static_cast<std::uint32_t>(data.GetPort()),
                         static_cast<std::uint32_t>(data.GetTimeoutInSeconds()));
    if (handle == -1) {
        ThrowPopError();
    }
    stopWatch.emplace([session = handle] { PopCancel(session); });
    if (data.GetPort() == kTlsPort) {
        RequireTrustedCertificate();
    }
    // Also a stop that came before the watch.
    TimeCard::Check();
    if (PopLoginA(handle, data.GetUserName().c_str(), data.GetPassword().c_str()) == -1) {
        ThrowPopError();
    }
    // The library's default line mode clears the top bit of every byte, which would corrupt
    // every 8-bit message (UTF-8 text, 8bit MIME parts).
    if (PopSetLineMode(handle, POP_MODE_BINARY) == -1) {
        ThrowPopError();
    }
}

int TarnwellPopClient::GetMessageCount() {
    const int count = PopGetMessageCount(handle);
    if (count == -1) {
        ThrowPopError();
    }
    return count;
}

void TarnwellPopClient::GetMessage(int index, Letter& letter) {
    // The letter's text is replaced only once the whole message has arrived.
    std::uint32_t size = 0;
    if (PopGetMessage(handle, index + 1, &size) == -1) {
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
    letter.StorePendingText();
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
    for (const int index : indexes) {
        if (TimeCard::IsOver()) {
            PopReset(handle);
            TimeCard::Check();
        }
        if (PopDeleteMessage(handle, index + 1) == -1) {
            // The text first: the reset would overwrite the thread's last error.
            const std::uint32_t code = PopGetLastError();
            const std::string error = PopErrorText();
            PopReset(handle);
            EndIfStopped(code);
            throw Exception(error);
        }
    }
}

void TarnwellPopClient::Disconnect() {
    if (!CloseSession()) {
        ThrowPopError();
    }
}

std::string TarnwellPopClient::GetMessageId(int index) {
    std::array<char, kMessageIdSize> buffer{};
    if (PopGetMessageIdA(handle, index + 1, buffer.data(), kMessageIdSize) == -1) {
        ThrowPopError();
    }
    return buffer.data();
}
