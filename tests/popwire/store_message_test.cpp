// Storing messages served by a real Dovecot into files, with progress events.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "PopwireTest.h"
#include "peers/DovecotServer.h"
#include "support/TestDataDir.h"

namespace {

using moxeltest::DovecotServer;
using namespace popwiretest;

// A letter of about 20 KB with stuffed lines, stored with LF line ends.
std::string Letter() {
    std::string text = "From: Ann <ann@example.test>\nTo: tester@example.test\nSubject: long\n\n";
    for (int line = 0; line < 600; ++line) {
        text += line % 50 == 0 ? ".a line that starts with a dot\n"
                               : "line " + std::to_string(line) + " of the long letter, padded\n";
    }
    return text;
}

// The letter as the client hands it out: CR LF line ends.
std::string Delivered(const std::string& stored) {
    std::string text;
    for (const char c : stored) {
        if (c == '\n') {
            text += '\r';
        }
        text += c;
    }
    return text;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class StoreMessageTest : public PopwireTest {
protected:
    void SetUp() override {
        server.AddMessage("tester", Letter());
        server.Start();
        PopwireTest::SetUp();
        client = PopConnectA("127.0.0.1", server.Pop3Port(), 10);
        ASSERT_NE(client, INVALID_CLIENT) << LastError();
        ASSERT_EQ(PopLoginA(client, "tester", "secret"), 0) << LastError();
    }

    DovecotServer server;
    moxeltest::TempDir folder;
    HCLIENT client = INVALID_CLIENT;
};

TEST_F(StoreMessageTest, TheFileHoldsExactlyTheMessageWithOneProgressEventPerPiece) {
    const std::string expected = Delivered(Letter());
    ASSERT_GT(expected.size(), 20000U);
    int progress = 0;
    PopRegisterEvent(
        client, POP_EVENT_PROGRESS,
        [](HCLIENT, std::uint32_t, std::uint32_t, std::uintptr_t count) {
            ++*reinterpret_cast<int*>(count);
        },
        reinterpret_cast<std::uintptr_t>(&progress));
    // An old file of the same name is replaced; the caller's line mode comes back unchanged.
    const auto path = folder.Path() / "stored.eml";
    std::ofstream(path) << "old contents that are longer than nothing";
    PopSetLineMode(client, POP_MODE_LINEBREAK);
    ASSERT_EQ(PopStoreMessageA(client, 1, path.c_str()), 0) << LastError();
    EXPECT_EQ(FileText(path), expected);
    EXPECT_EQ(progress, static_cast<int>((expected.size() + 4095) / 4096));
    EXPECT_EQ(PopGetLineMode(client), POP_MODE_LINEBREAK);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const auto widePath = folder.Path() / "wide.eml";
    EXPECT_EQ(PopStoreMessageW(client, 1, widePath.u16string().c_str()), 0) << LastError();
    EXPECT_EQ(FileText(widePath), expected);
    EXPECT_EQ(PopDisconnect(client), 0);
}

TEST_F(StoreMessageTest, AFileThatCannotBeMadeFailsAndTheSessionGoesOn) {
    const auto path = folder.Path() / "no such folder" / "stored.eml";
    EXPECT_EQ(PopStoreMessageA(client, 1, path.c_str()), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_STOREFILE));
    EXPECT_EQ(PopStoreMessageA(client, 7, (folder.Path() / "seven.eml").c_str()), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MESGID));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "seven.eml"));
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << "no half-made file is left";
    EXPECT_EQ(PopGetMessageSize(client, 1), static_cast<int>(Delivered(Letter()).size()));
    EXPECT_EQ(PopDisconnect(client), 0);
}

}  // namespace
