// Counting, listing, reading, deleting and resetting the messages of the logged-in mailbox.
#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "popwire.h"
#include "popwire/Conversation.h"
#include "popwire/DataReader.h"
#include "popwire/Notification.h"
#include "popwire/PopLibrary.h"
#include "popwire/ReplyText.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::ClientPointer;
using popwire::PopClient;
using popwire::Refused;
using popwire::SendCommand;

namespace {

// The calling thread's client of `handle` when it is logged in and in step; null with
// ERROR_POP_HANDLE, the failure that broke the session, or ERROR_POP_NOLOGIN.
ClientPointer LoggedIn(HCLIENT handle) {
    ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (client && !popwire::CheckInStep(*client)) {
        return nullptr;
    }
    if (client && !client->authenticated) {
        return Fail(ERROR_POP_NOLOGIN, nullptr);
    }
    return client;
}

int AsResult(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

// The LIST size of a message, from the cache when it holds this message.
std::optional<std::uint32_t> MessageSize(PopClient& client, int number) {
    if (number != 0 && client.sizeCacheNumber == number) {
        return client.sizeCache;
    }
    if (SendCommand(client, "LIST", std::to_string(number)) != 1) {
        Refused(ERROR_POP_MESGID);
        return std::nullopt;
    }
    client.sizeCacheNumber = number;
    client.sizeCache = popwire::ParseMessageSize(client.resultText);
    return client.sizeCache;
}

// Makes the identifier cache hold the UIDL answer for the message.
bool CacheMessageId(PopClient& client, int number) {
    if (number != 0 && client.idCacheNumber == number && !client.idCache.empty()) {
        return true;
    }
    if (SendCommand(client, "UIDL", std::to_string(number)) != 1) {
        return Refused(ERROR_POP_MESGID);
    }
    client.idCacheNumber = number;
    client.idCache = popwire::ParseUniqueId(client.resultText);
    return true;
}

// Opens a message with RETR or TOP: its size first, its identifier as far as the server tells
// it, then the command; the text is then read with PopRead.
int OpenMessage(HCLIENT handle, int number, std::uint32_t* size, const char* command,
                const std::string& parameter) {
    const ClientPointer client = LoggedIn(handle);
    if (!client) {
        return POP_ERROR;
    }
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    const auto messageSize = MessageSize(*client, number);
    if (!messageSize) {
        return POP_ERROR;
    }
    // A server without UIDL still serves the message; a broken connection does not.
    if (!CacheMessageId(*client, number) && netframe::GetLastErrorCode() != ERROR_POP_MESGID) {
        return POP_ERROR;
    }
    if (SendCommand(*client, command, parameter) != 1) {
        Refused(ERROR_POP_MESGID);
        return POP_ERROR;
    }
    client->currentMessage = number;
    client->currentSize = *messageSize;
    client->bytesCopied = 0;
    popwire::BeginMultiLine(*client);
    if (client->notificationWindow && !client->holdNotifications) {
        // The text is read on notifications: part of it may be here already, and the rest
        // must come within the client's time-out of each piece.
        popwire::AnnounceData(*client);
        if (client->timeout != 0 &&
            !popwire::ArmDeadline(
                *client, std::chrono::milliseconds(std::int64_t{client->timeout} * 1000))) {
            popwire::Break(*client);
            return Fail(ERROR_POP_MEMORY, POP_ERROR);
        }
    }
    if (size) {
        *size = *messageSize;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 0;
}

// After a read of message text in asynchronous mode: what is left of the text must come within
// the client's time-out from now, and what has arrived already is announced again, since the
// socket will not tell of it.
void FollowAsynchronousRead(popwire::PopClient& client, int copied) {
    if (!client.multiLine || client.brokenBy != 0) {
        client.asyncDeadline.reset();
        return;
    }
    if (copied > 0 && client.asyncDeadline) {
        client.asyncDeadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(client.timeout);
    }
    if (copied > 0 && popwire::InputBuffered(client)) {
        popwire::AnnounceData(client);
    }
}

}  // namespace

extern "C" {

int PopGetMessageCount(HCLIENT handle) {
    const ClientPointer client = LoggedIn(handle);
    return client ? AsResult(client->messageCount) : POP_ERROR;
}

int PopGetMessageCountEx(HCLIENT handle, std::uint32_t* lastMessage, std::uint32_t* mailboxSize) {
    const ClientPointer client = LoggedIn(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (lastMessage) {
        *lastMessage = client->lastMessage;
    }
    if (mailboxSize) {
        *mailboxSize = client->mailboxSize - std::min(client->mailboxSize, client->deletedOctets);
    }
    return AsResult(client->messageCount);
}

int PopGetMessageSize(HCLIENT handle, int message) {
    const ClientPointer client = LoggedIn(handle);
    if (!client) {
        return POP_ERROR;
    }
    const auto size = MessageSize(*client, message);
    return size ? AsResult(*size) : POP_ERROR;
}

int PopGetMessageIdA(HCLIENT handle, int message, char* buffer, int capacity) {
    const ClientPointer client = LoggedIn(handle);
    if (!client || !CacheMessageId(*client, message)) {
        return POP_ERROR;
    }
    if (!buffer) {
        return static_cast<int>(client->idCache.size());
    }
    return netframe::CopyTruncated(client->idCache, buffer, capacity);
}

int PopGetMessage(HCLIENT handle, int message, std::uint32_t* size) {
    return OpenMessage(handle, message, size, "RETR", std::to_string(message));
}

int PopGetMessageHeader(HCLIENT handle, int message, std::uint32_t* size) {
    return OpenMessage(handle, message, size, "TOP", std::to_string(message) + " 0");
}

int PopRead(HCLIENT handle, void* buffer, int capacity) {
    const ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (client->received.Empty() && client->heldBack.Empty() && client->closed) {
        return Fail(ERROR_POP_CLOSED, POP_ERROR);
    }
    // After a failed wait the bytes that follow may be a late answer, not message text.
    if (!popwire::CheckInStep(*client)) {
        return POP_ERROR;
    }
    if (client->endOfData || capacity == 0) {
        return 0;
    }
    if (!buffer || capacity < 0) {
        return Fail(ERROR_POP_PARAMETER, POP_ERROR);
    }
    // In asynchronous mode the caller reads message text on POP_EVENT_READ: what has arrived,
    // without waiting for more (ERROR_POP_BLOCKED when nothing has).
    const bool onNotifications =
        client->notificationWindow && client->multiLine && !client->holdNotifications;
    client->readWithoutWaiting = onNotifications;
    const int copied = popwire::ReadServerData(*client, static_cast<char*>(buffer), capacity);
    client->readWithoutWaiting = false;
    if (onNotifications) {
        FollowAsynchronousRead(*client, copied);
    }
    if (copied < 0) {
        return POP_ERROR;
    }
    if (!client->replyPending) {
        client->bytesCopied += static_cast<std::uint32_t>(copied);
    }
    return copied;
}

int PopGetMessageBytesCopied(HCLIENT handle, std::uint32_t* size) {
    const ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (size) {
        *size = client->currentSize;
    }
    return AsResult(client->bytesCopied);
}

int PopDeleteMessage(HCLIENT handle, int message) {
    const ClientPointer client = LoggedIn(handle);
    if (!client) {
        return POP_ERROR;
    }
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    // LIST first: a number the server does not know never reaches DELE.
    const auto size = MessageSize(*client, message);
    if (!size) {
        return POP_ERROR;
    }
    client->ForgetMessageCaches();
    if (SendCommand(*client, "DELE", std::to_string(message)) != 1) {
        Refused(ERROR_POP_MESGID);
        return POP_ERROR;
    }
    client->deletedOctets += *size;
    if (client->messageCount > 0) {
        --client->messageCount;
    }
    return 0;
}

int PopReset(HCLIENT handle) {
    const ClientPointer client = LoggedIn(handle);
    if (!client) {
        return 0;
    }
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    client->messageCount = client->lastMessage;
    client->ForgetMessageCaches();
    client->deletedOctets = 0;
    if (SendCommand(*client, "RSET") != 1) {
        Refused(ERROR_POP_SERVER);
        return 0;
    }
    if (!popwire::ReadMailboxFigures(*client)) {
        return 0;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 1;
}

}  // extern "C"
