#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peers/ScriptJoin.h"
#include "peers/ScriptedSmtpServer.h"
#include "smtpwire.h"

namespace smtpwiretest {

using moxeltest::ScriptedSmtpServer;
using Step = ScriptedSmtpServer;
using Script = std::vector<ScriptedSmtpServer::Step>;

// The library's error codes, as the tests expect them.
enum Error : int {
    kParameter = 28001,
    kHandle = 28002,
    kConnect = 28005,
    kTimeout = 28006,
    kClosed = 28007,
    kBroken = 28010,
    kCertificate = 28012,
    kGreeting = 28020,
    kLogin = 28022,
    kSender = 28023,
    kRecipient = 28024,
    kData = 28025,
    kMessage = 28026,
};

// Joins steps and pieces of a script, in order.
template <typename... Pieces>
Script Join(const Pieces&... pieces) {
    return moxeltest::JoinScript<Script::value_type>(pieces...);
}

inline Script Greeting() {
    return {Step::Send("220 test.invalid ESMTP\r\n")};
}
// The reply to EHLO with these extension lines.
inline Script Ehlo(const std::vector<std::string>& extensions = {}) {
    std::string reply = "250";
    reply += extensions.empty() ? " " : "-";
    reply += "test.invalid\r\n";
    for (std::size_t index = 0; index < extensions.size(); ++index) {
        reply += "250" + std::string(index + 1 == extensions.size() ? " " : "-") +
                 extensions[index] + "\r\n";
    }
    return Step::Answer(reply);
}
inline Script Ok() {
    return Step::Answer("250 2.0.0 OK\r\n");
}

// The calling thread's last error and its text.
inline std::string ErrorText(int code) {
    char text[256];
    const int length = SmtpGetErrorStringA(code, text, sizeof(text));
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

// Writes `content` in pieces of at most 256 bytes; false when a write fails.
inline bool WriteAll(int handle, const std::string& content) {
    for (std::size_t start = 0; start < content.size(); start += 256) {
        const int length = static_cast<int>(std::min<std::size_t>(256, content.size() - start));
        if (SmtpWrite(handle, content.data() + start, length) != length) {
            return false;
        }
    }
    return true;
}

// The library initialised for the test, released afterwards.
class SmtpwireTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(SmtpInitializeA(nullptr, nullptr), 0); }
    void TearDown() override { SmtpUninitialize(); }
};

}  // namespace smtpwiretest
