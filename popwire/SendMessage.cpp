// Handing a message to the server for delivery through the XTND XMIT extension (Qpopper's).
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "netframe/LastError.h"
#include "platform/windows/MessageWindows.h"
#include "popwire.h"
#include "popwire/Clipboard.h"
#include "popwire/Conversation.h"
#include "popwire/HeaderValue.h"
#include "popwire/Notification.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::PopClient;

namespace {

constexpr std::size_t kPieceSize = 512;
constexpr std::string_view kEndOfMessage = "\r\n.\r\n";

// The bytes of a regular file as they are; nullopt when it is none or cannot be read.
std::optional<std::string> ReadRegularFile(const char* name) {
    struct stat status {};
    if (::stat(name, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        return std::nullopt;
    }
    return bytes;
}

// Lets the thread's windows breathe between pieces of a long transfer.
void DispatchOnePendingMessage() {
    platform::Message pending{};
    if (platform::PeekMessage(pending, true)) {
        platform::DispatchMessage(pending);
    }
}

// Sends the message after an accepted XTND XMIT, each piece within the client's time-out, and
// reads the server's verdict. False with the last error; a failed send breaks the session.
bool Transmit(PopClient& client, const std::string& message) {
    for (std::size_t sent = 0; sent < message.size(); sent += kPieceSize) {
        const std::size_t length = std::min(kPieceSize, message.size() - sent);
        const popwire::OperationDeadline deadline(client, popwire::SendLimit(client));
        if (!popwire::SendData(client, message.data() + sent, static_cast<int>(length))) {
            return false;
        }
        DispatchOnePendingMessage();
    }
    const popwire::OperationDeadline deadline(client, popwire::SendLimit(client));
    if (!popwire::SendData(client, kEndOfMessage.data(), static_cast<int>(kEndOfMessage.size()))) {
        return false;
    }
    client.replyPending = true;
    if (popwire::ReadStatus(client) != 1) {
        return popwire::Refused(ERROR_POP_SENDFILE);
    }
    return true;
}

}  // namespace

extern "C" {

int PopSendMessageA(HCLIENT handle, const char* fileName) {
    const popwire::ClientPointer client = popwire::LoggedInClient(handle);
    if (!client) {
        return POP_ERROR;
    }
    // The verdict is read by the library: the caller hears no read notification meanwhile.
    const popwire::HeldNotifications held(*client);
    std::optional<std::string> message;
    if (!fileName || !*fileName) {
        if (!popwire::Clipboard::Reachable()) {
            return Fail(ERROR_POP_CLIPBOARD, POP_ERROR);
        }
        const auto limit = popwire::SendLimit(*client).value_or(std::chrono::seconds(60));
        message = popwire::Clipboard::Get(std::chrono::steady_clock::now() + limit);
        if (!message) {
            return Fail(ERROR_POP_CLIPBOARD, POP_ERROR);
        }
    } else {
        message = ReadRegularFile(fileName);
        if (!message) {
            return Fail(ERROR_POP_SENDFILE, POP_ERROR);
        }
    }
    {
        const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
        if (popwire::SendCommand(*client, "XTND", "XMIT") != 1) {
            popwire::Refused(ERROR_POP_SENDFILE);
            return POP_ERROR;
        }
    }
    if (!Transmit(*client, *message)) {
        return POP_ERROR;
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 0;
}

}  // extern "C"
