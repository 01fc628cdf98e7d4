// The server settings as a user types them, and the pieces the letter text is written in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exception.h"
#include "dispatch/ServerAddress.h"
#include "dispatch/WriteText.h"

namespace {

struct AddressCase {
    const char* setting;
    std::string host;  // empty: refused
    int port;
};

TEST(ServerAddress, ReadsHostAndPortOrRefusesWithTheFormToUse) {
    const AddressCase cases[] = {
        {"smtp.example.com", "smtp.example.com", 25},
        {"smtp.example.com:587", "smtp.example.com", 587},
        {"smtp.example.com:465", "smtp.example.com", 465},
        {"  smtp.example.com:587 ", "smtp.example.com", 587},
        {"[::1]:2525", "::1", 2525},
        {"[::1]", "::1", 25},
        {"::1", "::1", 25},
        {"host:x", "", 0},
        {"host:70000", "", 0},
        {"host:0", "", 0},
        {"host:", "", 0},
        {":587", "", 0},
        {"", "", 0},
        {"[::1", "", 0},
        {"[::1]x", "", 0},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.setting);
        try {
            const ServerAddress address = ParseSmtpServerAddress(item.setting);
            EXPECT_EQ(address.host, item.host);
            EXPECT_EQ(address.port, item.port);
        } catch (const Exception& error) {
            EXPECT_TRUE(item.host.empty()) << error.what();
            EXPECT_NE(std::string(error.what()).find(item.setting), std::string::npos);
        }
    }
    EXPECT_THROW(ParseSmtpServerAddress(std::string("host\0:25", 8)), Exception);
    // The POP3 server of POP-before-SMTP: the library's standard port unless given.
    EXPECT_EQ(ParsePopServerAddress("pop.example.com").port, 0);
    EXPECT_EQ(ParsePopServerAddress("pop.example.com:1110").port, 1110);
}

struct WriteCase {
    const char* label;
    std::string text;
    std::vector<int> accepts;  // what each write takes; past the end: all it is given
    std::vector<std::string> pieces;
    bool ok;
};

TEST(WriteText, WritesPiecesOfAtMost256BytesFromTheFirstByteNotTaken) {
    const std::string bytes600(600, 'a');
    std::string numbered;
    for (int index = 0; index < 600; ++index) {
        numbered += static_cast<char>('0' + index % 10);
    }
    const WriteCase cases[] = {
        {"600 bytes taken whole",
         bytes600,
         {},
         {bytes600.substr(0, 256), bytes600.substr(256, 256), bytes600.substr(512)},
         true},
        {"a write that takes 100 of 256",
         numbered,
         {100},
         {numbered.substr(0, 256), numbered.substr(100, 256), numbered.substr(356)},
         true},
        {"line feeds become CR LF", "a\nb\n\n", {}, {"a\r\nb\r\n\r\n"}, true},
        {"a write that takes nothing ends it", "abc", {0}, {"abc"}, false},
        {"a failed write ends it",
         bytes600,
         {256, -1},
         {bytes600.substr(0, 256), bytes600.substr(256, 256)},
         false},
        {"nothing to write", "", {}, {}, true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        std::vector<std::string> pieces;
        const bool ok = WriteText(item.text, [&](const char* piece, int length) {
            pieces.emplace_back(piece, static_cast<std::size_t>(length));
            const std::size_t call = pieces.size() - 1;
            return call < item.accepts.size() ? item.accepts[call] : length;
        });
        EXPECT_EQ(ok, item.ok);
        EXPECT_EQ(pieces, item.pieces);
    }
}

}  // namespace
