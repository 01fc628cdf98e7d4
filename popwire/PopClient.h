#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "netframe/EventCallbacks.h"
#include "netframe/PendingEvents.h"
#include "platform/windows/Message.h"
#include "platform/winsock/WinsockApi.h"
#include "popwire.h"
#include "popwire/SecurityDetails.h"

namespace popwire {

class TlsSession;

inline constexpr std::uint32_t kDefaultTimeout = 60;
inline constexpr std::uint32_t kMaximumTimeout = 600;
inline constexpr int kReceiveBufferSize = 4096;
// Longest message identifier and APOP time stamp kept, in bytes.
inline constexpr std::size_t kShortTextLimit = 127;

// Bits of PopClient::refusedExtensions.
inline constexpr std::uint32_t kRefusedXtndXlst = 0x04;
inline constexpr std::uint32_t kRefusedXsender = 0x20;

// Bytes received from the server and not yet handed out.
struct ReceiveBuffer {
    std::array<char, kReceiveBufferSize> bytes{};
    int count = 0;     // unread bytes
    int position = 0;  // index of the next unread byte

    bool Empty() const { return count == 0; }
    unsigned char Take() {
        --count;
        return static_cast<unsigned char>(bytes[position++]);
    }
};

// Up to two bytes that a read produced beyond the caller's capacity; handed out first by the
// next read.
struct HeldBackBytes {
    std::array<char, 2> bytes{};
    int count = 0;

    bool Empty() const { return count == 0; }
    void Push(char byte) { bytes[count++] = byte; }
    char Pop() {
        const char first = bytes[0];
        bytes[0] = bytes[1];
        --count;
        return first;
    }
};

// One POP3 session of the library: its socket, its protocol state and its caches. Created
// by the connecting thread and used by that owner thread only; the table lock guards
// `ownerThread`. The last uninitialisation may close the socket from another thread, which
// ends the owner's waits; the record itself lives until the last operation holding it ends.
struct PopClient {
    // Fixed once the record is in the table.
    HCLIENT handle = INVALID_CLIENT;
    int slot = -1;
    std::uint32_t options = 0;
    std::string hostName;  // as the caller gave it

    std::uint32_t ownerThread = 0;  // guarded by the table lock

    // Made by the owner; taken (and closed) by whichever thread closes the client.
    std::atomic<winsock::Socket> socket{winsock::kInvalidSocket};

    // Owner thread only from here on.
    std::unique_ptr<TlsSession> tls;  // set once the TLS handshake succeeded
    // Made before the connection (its configuration takes a while to load), used once it
    // stands.
    std::unique_ptr<TlsSession> handshakeSession;
    SecurityDetails security;  // of the TLS session; NONE without one

    std::uint32_t timeout = kDefaultTimeout;  // seconds
    std::uint32_t lineMode = POP_MODE_TEXT;

    bool busy = false;  // a wait runs
    // PopCancel was called; set by any thread, taken by the owner's next wait or transfer.
    std::atomic<bool> cancelRequested{false};
    bool closed = false;           // the server closed the connection
    bool replyPending = false;     // a command was sent and its status line not yet read
    bool greetingPending = false;  // the next status line is the server's greeting
    bool endOfData = false;        // the terminating line of multi-line data was read
    bool multiLine = false;        // multi-line data is being read
    bool authenticated = false;
    // Commands sent with PopQueueCommandA whose status lines are not read yet; the next status
    // line after any data being read belongs to the oldest of them.
    std::uint32_t queuedReplies = 0;
    // The failure (time-out, cancel, transport error) that left the session out of step with
    // the server, so that a late answer could be taken for the next one; 0 while in step.
    // Once set, every exchange fails with it until the client is closed.
    std::uint32_t brokenBy = 0;
    // When the running operation must be over (set by OperationDeadline); none: no operation
    // runs, or it may wait without limit.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    int lastResult = 0;  // 1 for "+OK", 0 for "-ERR"
    // Bytes of "\r\n.\r\n" matched so far in multi-line data.
    int terminatorState = 0;

    // Session counters, set by STAT at login and reset.
    std::uint32_t messageCount = 0;  // less the messages deleted since
    std::uint32_t lastMessage = 0;
    std::uint32_t mailboxSize = 0;
    std::uint32_t deletedOctets = 0;

    // The open message (0: none) with its LIST size and the bytes handed out of it.
    int currentMessage = 0;
    std::uint32_t currentSize = 0;
    std::uint32_t bytesCopied = 0;

    // The answers of the last LIST and UIDL, each with the message number it belongs to
    // (0: nothing cached).
    int sizeCacheNumber = 0;
    std::uint32_t sizeCache = 0;
    int idCacheNumber = 0;
    std::string idCache;  // at most kShortTextLimit bytes

    std::string apopTimeStamp;  // "<...@...>" from the greeting, or empty
    std::string resultText;     // the last status line after its status word, with its CR LF

    ReceiveBuffer received;
    HeldBackBytes heldBack;

    // What the server refused of the extension commands (kRefused...), remembered until the
    // client is closed so that a refused command is never sent again.
    std::uint32_t refusedExtensions = 0;

    // Asynchronous mode: the window that receives the socket's notifications (null in
    // blocking mode) and their message. The owner sets them; a closing thread reads the window
    // to let it go.
    std::atomic<platform::WindowHandle> notificationWindow{nullptr};
    std::uint32_t notificationMessage = 0;
    std::atomic<bool> windowAttached{false};  // counted in the library's hook table
    // An asynchronous connect waits for its FD_CONNECT; its handshake and greeting follow.
    bool connectPending = false;
    // When the asynchronous wait of the client (for the connection, or for message data that
    // the caller reads on POP_EVENT_READ) must be over; none: no such wait.
    std::optional<std::chrono::steady_clock::time_point> asyncDeadline;
    bool alarmSet = false;  // a deadline notification is on its way to the window
    // The caller's PopRead of message data in asynchronous mode takes what has arrived and does
    // not wait.
    bool readWithoutWaiting = false;
    // Notifications are held back (and posted again afterwards) while the library itself reads
    // or writes on the client's behalf: storing or sending a message.
    bool holdNotifications = false;
    bool frozen = false;  // PopFreezeEvents: no event is delivered
    // Notifications that came while frozen or during a wait of the client.
    netframe::PendingEvents pendingEvents;

    platform::WindowHandle eventWindow = nullptr;
    std::uint32_t eventMessage = 0;
    netframe::EventCallbacks<POPEVENTPROC> callbacks;

    // Forgets the open message and the cached LIST and UIDL answers (after DELE and RSET,
    // which change what the server answers for a message).
    void ForgetMessageCaches() {
        currentMessage = 0;
        currentSize = 0;
        bytesCopied = 0;
        sizeCacheNumber = 0;
        sizeCache = 0;
        idCacheNumber = 0;
        idCache.clear();
    }

    ~PopClient();
};

using ClientPointer = std::shared_ptr<PopClient>;

}  // namespace popwire
