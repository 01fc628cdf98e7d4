#include "popwire/Conversation.h"

#include <optional>
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

namespace {

// The command line for `word` and `parameter` with its CR LF, or nothing with
// ERROR_POP_PARAMETER.
std::optional<std::string> CommandLine(std::string_view word, std::string_view parameter) {
    std::string line(word);
    if (!parameter.empty()) {
        line += ' ';
        line += parameter;
    }
    // A line end inside would smuggle a second command past the caller.
    if (word.empty() || line.find_first_of("\r\n") != std::string::npos) {
        return Fail(ERROR_POP_PARAMETER, std::nullopt);
    }
    line += "\r\n";
    if (line.size() >= kCommandLineLimit) {
        return Fail(ERROR_POP_PARAMETER, std::nullopt);
    }
    return line;
}

bool SendLine(PopClient& client, const std::string& line) {
    const OperationDeadline deadline(client, SendLimit(client));
    return SendData(client, line.data(), static_cast<int>(line.size()));
}

}  // namespace

bool AwaitsServer(const PopClient& client) {
    return client.replyPending || client.multiLine || client.queuedReplies > 0;
}

int SendCommand(PopClient& client, std::string_view word, std::string_view parameter) {
    if (!CheckInStep(client)) {
        return 0;
    }
    if (AwaitsServer(client)) {
        return Fail(ERROR_POP_BLOCKED, 0);
    }
    const std::optional<std::string> line = CommandLine(word, parameter);
    if (!line) {
        return 0;
    }
    client.endOfData = false;
    if (!SendLine(client, *line)) {
        return 0;
    }
    client.replyPending = true;
    return ReadStatus(client);
}

bool QueueCommand(PopClient& client, std::string_view word, std::string_view parameter) {
    if (!CheckInStep(client)) {
        return false;
    }
    // Between the end of one answer and the start of the next, so that the oldest queued
    // command is always the one whose status line comes next.
    if (client.replyPending || client.multiLine) {
        return Fail(ERROR_POP_BLOCKED, false);
    }
    const std::optional<std::string> line = CommandLine(word, parameter);
    if (!line || !SendLine(client, *line)) {
        return false;
    }
    ++client.queuedReplies;
    return true;
}

int ReadQueuedReply(PopClient& client) {
    if (!CheckInStep(client)) {
        return 0;
    }
    if (client.replyPending || client.multiLine) {
        return Fail(ERROR_POP_BLOCKED, 0);
    }
    if (client.queuedReplies == 0) {
        return Fail(ERROR_POP_COMMAND, 0);
    }
    --client.queuedReplies;
    client.endOfData = false;
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
