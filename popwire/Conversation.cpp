#include "popwire/Conversation.h"

#include <string>
#include <utility>

#include "netframe/LastError.h"
#include "popwire/DataReader.h"
#include "popwire/Events.h"
#include "popwire/ReplyText.h"
#include "popwire/Transport.h"

namespace popwire {

using netframe::Fail;

namespace {

constexpr std::string_view kPositive = "+OK";
constexpr std::string_view kNegative = "-ERR";

}  // namespace

int SendCommand(PopClient& client, std::string_view word, std::string_view parameter) {
    if (!CheckInStep(client)) {
        return 0;
    }
    if (client.replyPending || client.multiLine) {
        return Fail(ERROR_POP_BLOCKED, 0);
    }
    std::string line(word);
    if (!parameter.empty()) {
        line += ' ';
        line += parameter;
    }
    // A line end inside would smuggle a second command past the caller.
    if (word.empty() || line.find_first_of("\r\n") != std::string::npos) {
        return Fail(ERROR_POP_PARAMETER, 0);
    }
    line += "\r\n";
    if (line.size() >= kCommandLineLimit) {
        return Fail(ERROR_POP_PARAMETER, 0);
    }
    client.endOfData = false;
    const OperationDeadline deadline(client, SendLimit(client));
    if (!SendData(client, line.data(), static_cast<int>(line.size()))) {
        return 0;
    }
    client.replyPending = true;
    return ReadStatus(client);
}

int ReadStatus(PopClient& client) {
    if (!client.replyPending) {
        return client.lastResult;
    }
    client.replyPending = false;
    const bool greeting = std::exchange(client.greetingPending, false);
    client.lastResult = 0;
    const OperationDeadline deadline(client, SendLimit(client));
    char line[kStatusLineLimit];
    const int length = ReadServerData(client, line, kStatusLineLimit, Completeness::WholeLine);
    if (length < 0) {
        return 0;
    }
    std::string_view text(line, static_cast<std::size_t>(length));
    int result;
    if (StartsWithWord(text, kPositive)) {
        result = 1;
        text.remove_prefix(kPositive.size());
    } else if (StartsWithWord(text, kNegative)) {
        result = 0;
        text.remove_prefix(kNegative.size());
    } else {
        client.resultText.assign(text);
        DeliverEvent(client, POP_EVENT_COMMAND, ERROR_POP_SERVER);
        return Fail(ERROR_POP_UNEXPECTED, 0);
    }
    if (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    client.resultText.assign(text);
    client.lastResult = result;
    if (greeting && result == 1) {
        client.apopTimeStamp = FindApopTimeStamp(text);
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    DeliverEvent(client, POP_EVENT_COMMAND, 0);
    return result;
}

bool ReadMailboxFigures(PopClient& client) {
    if (SendCommand(client, "STAT") == 1) {
        const MailboxFigures figures = ParseMailboxFigures(client.resultText);
        client.messageCount = figures.messageCount;
        client.lastMessage = figures.messageCount;
        client.mailboxSize = figures.octets;
    }
    return CheckInStep(client);
}

bool Refused(std::uint32_t code) {
    if (netframe::GetLastErrorCode() == ERROR_POP_NONE) {
        netframe::SetLastErrorCode(code);
    }
    return false;
}

}  // namespace popwire
