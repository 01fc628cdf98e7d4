#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "sockwire/SocketLibrary.h"

namespace sockwire {

enum class Readiness { Read, Write };

// select on one socket: the result (1 ready, 0 time-out, -1 failure) and, on failure, the
// Winsock error.
struct SelectOutcome {
    int result;
    int winsockError;
};

// Waits until `socket` is ready, at most `timeout` (none: without limit; zero: looks once).
// While it waits, the thread's window messages keep being dispatched.
SelectOutcome SelectOne(winsock::Socket socket, Readiness readiness,
                        std::optional<std::chrono::milliseconds> timeout);

// The wait before an operation that may block. A socket with a notification window does not
// wait. Otherwise the socket is marked busy and waited on with its timeout, then looked up
// again (it may have been closed meanwhile) and `client` refreshed. Returns true when the
// operation may go on; false with the last error set: the lookup's error, ERROR_INET_TIMEOUT
// (INET_EVENT_TIMEOUT delivered), ERROR_INET_BLOCKED for a wait inside another blocking call, or
// `operationError`. A deadline cuts the wait short (an operation of several waits ends there).
using Deadline = std::optional<std::chrono::steady_clock::time_point>;
bool AwaitReady(ClientPointer& client, Readiness readiness, std::uint32_t operationError,
                Deadline deadline = std::nullopt);

// The end of an operation that may last `seconds` from now; none for 0 (without limit).
Deadline DeadlineAfter(std::uint32_t seconds);

// Seconds of a timeout argument as a wait limit: 0 means none.
std::optional<std::chrono::milliseconds> SecondsLimit(std::uint32_t seconds);

}  // namespace sockwire
