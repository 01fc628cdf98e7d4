#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "popwire/ByteChannel.h"
#include "popwire/PopClient.h"

namespace popwire {

// Moving bytes between a client and its server: the waits with the client's timeout, the
// client's receive buffer, and TLS when it is active. Owner thread only.

enum class Readiness { Read, Write };
using WaitLimit = std::optional<std::chrono::milliseconds>;  // none: without limit

// How long a wait for the server may last: the client's timeout; when that is 0, without limit
// for message data and 60 seconds for anything else.
WaitLimit ReceiveLimit(const PopClient& client);
WaitLimit SendLimit(const PopClient& client);

// Bounds every wait of one operation of the client (a connection with its handshake and
// greeting, a command with its answer, a login with its commands, one PopRead) by one time-out:
// the outermost guard sets the client's deadline `limit` from now and clears it again; guards
// nested inside keep it. No limit leaves the waits as they are.
class OperationDeadline {
public:
    OperationDeadline(PopClient& client, WaitLimit limit);
    ~OperationDeadline();
    OperationDeadline(const OperationDeadline&) = delete;
    OperationDeadline& operator=(const OperationDeadline&) = delete;

private:
    PopClient& client;
    bool owner;
};

// A wait of `limit` cut to what is left of the client's deadline (none when neither bounds it).
WaitLimit WithinDeadline(const PopClient& client, WaitLimit limit);

// A wait limit as Winsock's time value; limits of 2^31 seconds and more end there.
winsock::TimeVal ToTimeVal(std::chrono::milliseconds limit);

// Marks the session out of step with the last error as the cause (ERROR_POP_READ when none is
// set) and returns false.
bool Break(PopClient& client);

// False with the cause as the last error when the session is out of step.
bool CheckInStep(const PopClient& client);

// The longest a wait runs without looking for a cancel from another thread.
inline constexpr std::chrono::milliseconds kCancelSlice{200};

// Winsock's select on the client's sets for up to `limit` (none: without limit), in slices of
// kCancelSlice: -1 also when a cancel is pending (CancelPending, for TakeCancel), before or
// during the wait.
int SelectUnlessCancelled(PopClient& client, winsock::FdSet* readable, winsock::FdSet* writable,
                          winsock::FdSet* exceptional, WaitLimit limit);

// Waits until the client's socket is ready, marking the client busy meanwhile; the thread's
// window messages keep being dispatched. False with the last error: ERROR_POP_CANCELED (with
// POP_EVENT_CANCEL) when PopCancel ended the wait, ERROR_POP_TIMEOUT (with POP_EVENT_TIMEOUT),
// or `failure` when Winsock fails. The wait ends at the client's deadline at the latest.
bool AwaitSocket(PopClient& client, Readiness readiness, WaitLimit limit, std::uint32_t failure);

// A cancel is waiting to be taken: PopCancel's request, or the thread's cancel check says stop.
bool CancelPending(const PopClient& client);

// Takes a cancel request (PopCancel's, or the thread's cancel check saying stop): clears it, sets
// ERROR_POP_CANCELED and delivers POP_EVENT_CANCEL. False when none was pending.
bool TakeCancel(PopClient& client);

// Refills the empty receive buffer from the server (decrypted when TLS is active). False with
// the last error: ERROR_POP_CANCELED, ERROR_POP_TIMEOUT, ERROR_POP_READ, or ERROR_POP_CLOSED
// (the client is then marked closed); ERROR_POP_BLOCKED when the client reads without waiting
// (readWithoutWaiting) and nothing has arrived.
bool FillReceiveBuffer(PopClient& client);

// As FillReceiveBuffer, taking only what has arrived: false with ERROR_POP_BLOCKED when nothing
// has. No cancel is taken.
bool FillWithoutWaiting(PopClient& client);

// Stores the result of a receive into the buffer: true for bytes; false with ERROR_POP_CLOSED
// (marked closed) for 0, or with the receive's error.
bool StoreReceived(PopClient& client, int received);

// Bytes of the server that have arrived and not yet been handed out.
bool InputBuffered(const PopClient& client);

// Sends every byte to the server (encrypted when TLS is active). False with the last error:
// ERROR_POP_WRITE, ERROR_POP_TIMEOUT, ERROR_POP_CANCELED. A cancel taken before anything went
// out leaves the session in step; any other failure breaks it (Break).
bool SendData(PopClient& client, const char* data, int length);

// The client's socket seen as a channel of raw bytes, with the client's waits: what the TLS
// layer runs over.
class SocketChannel : public ByteChannel {
public:
    explicit SocketChannel(PopClient& owner) : client(owner) {}
    int Receive(char* buffer, int capacity) override;
    bool Send(const char* data, int length) override;

private:
    PopClient& client;
};

// Tells a TLS server that the session ends (close_notify), without waiting; for closing.
void SayGoodbye(PopClient& client, winsock::Socket socket);

}  // namespace popwire
