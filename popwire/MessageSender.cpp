// The sender of a message: XSENDER (Qpopper's extension) where the server has it, the address
// in the From header where it does not.
#include <optional>
#include <string>
#include <string_view>

#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "popwire.h"
#include "popwire/Conversation.h"
#include "popwire/HeaderValue.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::PopClient;

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n";

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1));
}

// The text between `open` and the next `close` after it; nullopt when there is no such pair.
std::optional<std::string> Between(std::string_view text, char open, char close) {
    const auto start = text.find(open);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const auto end = text.find(close, start + 1);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text.substr(start + 1, end - start - 1));
}

// The address of a From value: what the first angle brackets hold ("Name <a@b>"), else what
// the parentheses hold (the old "(a@b)" form), else the value as it is.
std::string AddressOf(const std::string& from) {
    if (auto address = Between(from, '<', '>')) {
        return *address;
    }
    if (auto address = Between(from, '(', ')')) {
        return *address;
    }
    return from;
}

// The sender as XSENDER tells it; nullopt when the server refuses (remembered) or the exchange
// fails (last error set).
std::optional<std::string> AskXsender(PopClient& client, int number) {
    if (client.refusedExtensions & popwire::kRefusedXsender) {
        return std::nullopt;
    }
    if (popwire::SendCommand(client, "XSENDER", std::to_string(number)) == 1) {
        return Trimmed(client.resultText);
    }
    if (netframe::GetLastErrorCode() == ERROR_POP_NONE) {
        client.refusedExtensions |= popwire::kRefusedXsender;
    }
    return std::nullopt;
}

}  // namespace

extern "C" {

int PopGetMessageSenderA(HCLIENT handle, int message, char* buffer, int capacity) {
    const popwire::ClientPointer client = popwire::LoggedInClient(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (!buffer || capacity < 2) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    // The fallback below tells a refusal from a failure by the last error alone.
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    std::optional<std::string> sender = AskXsender(*client, message);
    if (!sender) {
        // A refusal falls back on the header; a transport failure has broken the session.
        if (netframe::GetLastErrorCode() != ERROR_POP_NONE) {
            return POP_ERROR;
        }
        const auto from = popwire::HeaderValue(*client, message, "From");
        if (!from) {
            return POP_ERROR;
        }
        sender = AddressOf(*from);
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return netframe::CopyTruncated(*sender, buffer, capacity);
}

}  // extern "C"
