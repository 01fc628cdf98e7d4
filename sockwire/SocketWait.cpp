#include "sockwire/SocketWait.h"

#include <algorithm>
#include <climits>

#include "netframe/LastError.h"
#include "sockwire/Notification.h"

namespace sockwire {

SelectOutcome SelectOne(winsock::Socket socket, Readiness readiness,
                        std::optional<std::chrono::milliseconds> timeout) {
    auto& winsock = SocketLibrary::Instance().Winsock();
    winsock::FdSet set{1, {socket}};
    winsock::TimeVal limit{};
    if (timeout) {
        // Winsock counts seconds in 32 bits: longer waits (2^31 seconds and more) end there.
        limit.seconds =
            static_cast<std::int32_t>(std::min<std::int64_t>(timeout->count() / 1000, INT32_MAX));
        limit.microseconds = static_cast<std::int32_t>((timeout->count() % 1000) * 1000);
    }
    const int result = winsock.Select(readiness == Readiness::Read ? &set : nullptr,
                                      readiness == Readiness::Write ? &set : nullptr, nullptr,
                                      timeout ? &limit : nullptr);
    return {result, result < 0 ? winsock.GetLastError() : 0};
}

std::optional<std::chrono::milliseconds> SecondsLimit(std::uint32_t seconds) {
    if (seconds == 0) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000);
}

Deadline DeadlineAfter(std::uint32_t seconds) {
    if (seconds == 0) {
        return std::nullopt;
    }
    return std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

bool AwaitReady(ClientPointer& client, Readiness readiness, std::uint32_t operationError,
                Deadline deadline) {
    if (client->notificationWindow) {
        return true;
    }
    auto limit = SecondsLimit(client->timeout);
    if (deadline) {
        const auto left = std::max(std::chrono::milliseconds(0),
                                   std::chrono::ceil<std::chrono::milliseconds>(
                                       *deadline - std::chrono::steady_clock::now()));
        limit = limit ? std::min(*limit, left) : left;
    }
    client->busy = true;
    const SelectOutcome outcome = SelectOne(client->socket, readiness, limit);
    // The record we hold stops being busy even when the handle went away meanwhile.
    client->busy = false;
    auto again = SocketLibrary::Instance().Lookup(client->socket);
    if (!again) {
        return false;
    }
    client = std::move(again);
    if (outcome.result == 0) {
        DeliverTimeout(client);
        return false;
    }
    if (outcome.result < 0) {
        return netframe::Fail(
            outcome.winsockError == winsock::WSAEINPROGRESS ? ERROR_INET_BLOCKED : operationError,
            false);
    }
    return true;
}

}  // namespace sockwire
