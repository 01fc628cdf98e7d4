// Header values of a message through the XTND XLST extension (Qpopper's).
#include "popwire/HeaderValue.h"

#include <string>

#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "popwire.h"
#include "popwire/Conversation.h"
#include "popwire/DataReader.h"
#include "popwire/PopLibrary.h"
#include "popwire/Transport.h"

using netframe::Fail;

namespace popwire {

namespace {

// Longest listed line looked at; the rest of a longer line is dropped unread by the value.
constexpr std::size_t kListLineLimit = 4096;
constexpr std::string_view kWhiteSpace = " \t\r\n";

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

// Reads the listed lines up to the terminating one; the last line with a ":" gives the value.
std::optional<std::string> ReadListedValue(PopClient& client) {
    const LineModeOverride oneLineAtATime(client, POP_MODE_LINEBREAK, 0);
    BeginMultiLine(client);
    std::string value;
    std::string line;
    char piece[512];
    for (;;) {
        const int count = ReadServerData(client, piece, sizeof(piece));
        if (count < 0) {
            return std::nullopt;
        }
        if (line.size() < kListLineLimit) {
            line.append(piece, static_cast<std::size_t>(count));
        }
        const bool lineEnded = count > 0 && piece[count - 1] == '\n';
        if (lineEnded || client.endOfData) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                value.assign(Trimmed(std::string_view(line).substr(colon + 1)));
            }
            line.clear();
        }
        if (client.endOfData) {
            return value;
        }
    }
}

}  // namespace

std::optional<std::string> HeaderValue(PopClient& client, int number, std::string_view header) {
    // A server that said no once says no again; asking would only cost a round trip.
    if (client.refusedExtensions & kRefusedXtndXlst) {
        return Fail(ERROR_POP_COMMAND, std::nullopt);
    }
    const OperationDeadline deadline(client, SendLimit(client));
    const std::string parameter = "XLST " + std::string(header) + " " + std::to_string(number);
    const int result = SendCommand(client, "XTND", parameter);
    if (result != 1) {
        if (netframe::GetLastErrorCode() == ERROR_POP_NONE) {
            client.refusedExtensions |= kRefusedXtndXlst;
            netframe::SetLastErrorCode(ERROR_POP_COMMAND);
        }
        return std::nullopt;
    }
    return ReadListedValue(client);
}

ClientPointer LoggedInClient(HCLIENT handle) {
    ClientPointer client = PopLibrary::Instance().Lookup(handle);
    if (client && !CheckInStep(*client)) {
        return nullptr;
    }
    if (client && !client->authenticated) {
        return Fail(ERROR_POP_NOLOGIN, nullptr);
    }
    return client;
}

}  // namespace popwire

extern "C" {

int PopGetHeaderValueA(HCLIENT handle, int message, const char* header, char* buffer,
                       int capacity) {
    const popwire::ClientPointer client = popwire::LoggedInClient(handle);
    if (!client) {
        return POP_ERROR;
    }
    // A space inside the name would shift the message number into another parameter.
    if (!header || !*header || std::string_view(header).find(' ') != std::string_view::npos ||
        !buffer || capacity < 1) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    const auto value = popwire::HeaderValue(*client, message, header);
    if (!value) {
        return POP_ERROR;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return netframe::CopyTruncated(*value, buffer, capacity);
}

}  // extern "C"
