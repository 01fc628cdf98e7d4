#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peers/ScriptJoin.h"
#include "peers/ScriptedPopServer.h"
#include "popwire.h"

namespace popwiretest {

using Script = std::vector<moxeltest::ScriptedPopServer::Step>;
using Lines = std::vector<std::string>;

inline std::uint32_t LastError() {
    return PopGetLastError();
}

// An error or status constant as the library's functions return it.
constexpr std::uint32_t Code(int code) {
    return static_cast<std::uint32_t>(code);
}
using moxeltest::ScriptedPopServer;

// Joins steps and pieces of a script, in order.
template <typename... Pieces>
Script Join(const Pieces&... pieces) {
    return moxeltest::JoinScript<Script::value_type>(pieces...);
}

inline Script Greeting(const std::string& line = "+OK POP3 ready\r\n") {
    return {ScriptedPopServer::Send(line)};
}

// The server's side of a USER/PASS login followed by STAT.
inline Script Login(int messages, int octets) {
    return Join(ScriptedPopServer::Answer("+OK\r\n"), ScriptedPopServer::Answer("+OK\r\n"),
                ScriptedPopServer::Answer("+OK " + std::to_string(messages) + " " +
                                          std::to_string(octets) + "\r\n"));
}

// A multi-line answer as a server sends it: the status line, the lines (already stuffed) and
// the terminator.
inline std::string MultiLine(const std::string& stuffedBody) {
    return "+OK message follows\r\n" + stuffedBody + ".\r\n";
}

// The library initialised for the test, uninitialised afterwards.
class PopwireTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1); }
    void TearDown() override { PopUninitialize(); }

    // Connects to the scripted server on loopback with a short timeout.
    static HCLIENT Connect(const ScriptedPopServer& server, std::uint32_t timeout = 5) {
        return PopConnectA("127.0.0.1", server.Port(), timeout);
    }

    // Connects and logs in as "user"/"pass"; the script must begin with Greeting and Login.
    static HCLIENT ConnectAndLogin(const ScriptedPopServer& server, std::uint32_t timeout = 5) {
        const HCLIENT client = Connect(server, timeout);
        if (client != INVALID_CLIENT && PopLoginA(client, "user", "pass") != 0) {
            ADD_FAILURE() << "login failed: " << PopGetLastError();
        }
        return client;
    }
};

// What reading an open message to its end gave.
struct ReadResult {
    std::string text;
    int last = 0;             // the last PopRead result: 0 at the end, -1 after a failure
    std::uint32_t error = 0;  // the last error after a failure
    int calls = 0;
};

// Reads the open message with PopRead in pieces of `chunk` bytes until 0 or -1.
inline ReadResult ReadToEnd(HCLIENT client, int chunk = 256) {
    ReadResult result;
    std::vector<char> buffer(static_cast<std::size_t>(chunk));
    for (;;) {
        ++result.calls;
        result.last = PopRead(client, buffer.data(), chunk);
        if (result.last <= 0) {
            result.error = result.last < 0 ? PopGetLastError() : 0;
            return result;
        }
        result.text.append(buffer.data(), static_cast<std::size_t>(result.last));
    }
}

}  // namespace popwiretest
