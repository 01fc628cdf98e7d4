// Against a real SMTP server: aiosmtpd on loopback, which saves what it accepts.

#include <filesystem>

#include "SmtpwireTest.h"
#include "peers/AiosmtpdServer.h"
#include "support/TestDataDir.h"

namespace {

using namespace smtpwiretest;

using moxeltest::AiosmtpdServer;

TEST_F(SmtpwireTest, ARealServerReceivesTheLettersExactly) {
    moxeltest::TempDir folder;
    AiosmtpdServer server(folder.Path());
    ASSERT_NE(server.Port(), 0) << "aiosmtpd did not start (is python3-aiosmtpd installed?)";
    std::string text =
        "Subject: real\n\n.\n..two\nGr\xC3\xBC\xC3\x9F"
        "e\r\nbare\rend";
    text += std::string(300, 'y') + "\n.dot after a long line\nlast";

    const int handle = SmtpConnectA("127.0.0.1", server.Port(), 10);
    ASSERT_NE(handle, -1) << ErrorText(SmtpGetLastError());
    ASSERT_EQ(SmtpHelloA(handle, nullptr, 1), 0) << ErrorText(SmtpGetLastError());
    EXPECT_EQ(SmtpAuthenticateA(handle, "tester", "wrong"), -1);
    EXPECT_EQ(SmtpGetLastError(), kLogin);
    EXPECT_NE(ErrorText(kLogin).find("535"), std::string::npos) << ErrorText(kLogin);
    ASSERT_EQ(SmtpAuthenticateA(handle, "tester", "secret"), 0) << ErrorText(SmtpGetLastError());
    for (const char* recipient : {"one@test.invalid", "two@test.invalid"}) {
        ASSERT_EQ(SmtpSetSenderA(handle, "from@test.invalid"), 0) << ErrorText(SmtpGetLastError());
        ASSERT_EQ(SmtpAddRecipientA(handle, recipient), 0);
        ASSERT_TRUE(WriteAll(handle, text)) << ErrorText(SmtpGetLastError());
        ASSERT_EQ(SmtpEndMessage(handle), 0) << ErrorText(SmtpGetLastError());
    }
    EXPECT_EQ(SmtpDisconnect(handle), 0);

    const std::string expected =
        "Subject: real\r\n\r\n.\r\n..two\r\nGr\xC3\xBC\xC3\x9F"
        "e\r\nbare\r\nend" +
        std::string(300, 'y') + "\r\n.dot after a long line\r\nlast\r\n";
    EXPECT_EQ(moxeltest::ReadWholeFile(folder.Path() / "1.eml"), expected);
    EXPECT_EQ(moxeltest::ReadWholeFile(folder.Path() / "2.eml"), expected);
    EXPECT_EQ(moxeltest::ReadWholeFile(folder.Path() / "1.envelope"),
              "from@test.invalid\none@test.invalid\nBODY=8BITMIME\n");
    EXPECT_EQ(moxeltest::ReadWholeFile(folder.Path() / "2.envelope"),
              "from@test.invalid\ntwo@test.invalid\nBODY=8BITMIME\n");
}

}  // namespace
