#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sockwire.h"

namespace sockwiretest {

// 127.0.0.1 as the library holds addresses (network byte order).
inline std::uint32_t Loopback() {
    return htonl(INADDR_LOOPBACK);
}

// The library initialised for the test, uninitialised afterwards.
class SockwireTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1); }
    void TearDown() override { InetUninitialize(); }

    // A blocking listener on 127.0.0.1 and a free port.
    static SOCKET Listen(std::uint32_t& port) {
        const SOCKET listener = InetListen(Loopback(), 0);
        std::uint32_t address = 0;
        port = 0;
        InetGetLocalAddress(listener, &address, &port);
        return listener;
    }

    // A connected pair through a blocking listener; the listener is closed again.
    static void Connect(SOCKET& client, SOCKET& server, std::uint32_t timeout = 10) {
        std::uint32_t port = 0;
        const SOCKET listener = Listen(port);
        ASSERT_NE(listener, INVALID_SOCKET);
        client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, timeout);
        ASSERT_NE(client, INVALID_SOCKET) << InetGetLastError();
        server = InetAccept(listener, timeout);
        ASSERT_NE(server, INVALID_SOCKET) << InetGetLastError();
        ASSERT_EQ(InetDisconnect(listener), 0);
    }

    // Writes every byte (a write may take fewer).
    static bool WriteAll(SOCKET socket, const std::string& data) {
        std::size_t written = 0;
        while (written < data.size()) {
            const int result =
                InetWrite(socket, data.data() + written, static_cast<int>(data.size() - written));
            if (result <= 0) {
                return false;
            }
            written += static_cast<std::size_t>(result);
        }
        return true;
    }

    // Reads exactly `count` bytes (fewer when the peer closes or a read fails).
    static std::string ReadCount(SOCKET socket, std::size_t count) {
        std::string data(count, '\0');
        std::size_t received = 0;
        while (received < count) {
            const int result =
                InetRead(socket, data.data() + received, static_cast<int>(count - received));
            if (result <= 0) {
                break;
            }
            received += static_cast<std::size_t>(result);
        }
        data.resize(received);
        return data;
    }
};

// Events as a callback received them, on the thread that runs the test.
struct EventRecord {
    SOCKET socket;
    std::uint32_t event;
    std::uint32_t error;
    std::uintptr_t parameter;
};
inline thread_local std::vector<EventRecord> recordedEvents;

inline void RecordEvent(SOCKET socket, std::uint32_t event, std::uint32_t error,
                        std::uintptr_t parameter) {
    recordedEvents.push_back({socket, event, error, parameter});
}

inline std::vector<std::uint32_t> RecordedEventIds() {
    std::vector<std::uint32_t> ids;
    for (const auto& record : recordedEvents) {
        ids.push_back(record.event);
    }
    return ids;
}

}  // namespace sockwiretest
