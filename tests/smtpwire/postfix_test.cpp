// Against a real MTA: a throw-away Postfix on loopback that writes every letter to a file.
#include "SmtpwireTest.h"
#include "peers/PostfixServer.h"

namespace {

using namespace smtpwiretest;
using moxeltest::PostfixServer;

constexpr int kNoLoginMethod = 28014;
constexpr auto kDeliveryTimeout = std::chrono::seconds(30);

class PostfixTest : public SmtpwireTest {
protected:
    void SetUp() override {
        if (!PostfixServer::Available()) {
            GTEST_SKIP() << "Postfix is not installed or this is not root";
        }
        SmtpwireTest::SetUp();
    }
};

TEST_F(PostfixTest, DeliversTheLetterExactly) {
    PostfixServer server({.refusedRecipients = {"refused@test.invalid"}});
    server.Start();
    std::string text =
        "Subject: through Postfix\n\n.\n..two\n.\r\nGr\xC3\xBC\xC3\x9F"
        "e\r\nbare\rend";
    text += std::string(300, 'y') + "\n.dot after a long line\nlast";

    const int handle = SmtpConnectA("127.0.0.1", server.Port(), 10);
    ASSERT_NE(handle, -1) << ErrorText(SmtpGetLastError()) << server.Log();
    ASSERT_EQ(SmtpHelloA(handle, nullptr, 1), 0) << ErrorText(SmtpGetLastError());
    // Postfix offers no login here: the refusal is ours, before anything is sent.
    EXPECT_EQ(SmtpAuthenticateA(handle, "tester", "secret"), -1);
    EXPECT_EQ(SmtpGetLastError(), kNoLoginMethod);
    ASSERT_EQ(SmtpSetSenderA(handle, "from@test.invalid"), 0) << ErrorText(SmtpGetLastError());
    // The server's refusal reaches the user in its own words; the session goes on.
    EXPECT_EQ(SmtpAddRecipientA(handle, "refused@test.invalid"), -1);
    EXPECT_EQ(SmtpGetLastError(), kRecipient);
    EXPECT_NE(ErrorText(kRecipient).find("Recipient address rejected"), std::string::npos)
        << ErrorText(kRecipient);
    ASSERT_EQ(SmtpAddRecipientA(handle, "to@test.invalid"), 0) << ErrorText(SmtpGetLastError());
    ASSERT_TRUE(WriteAll(handle, text)) << ErrorText(SmtpGetLastError());
    ASSERT_EQ(SmtpEndMessage(handle), 0) << ErrorText(SmtpGetLastError());
    EXPECT_EQ(SmtpDisconnect(handle), 0);

    const auto letters = server.WaitForLetters(1, kDeliveryTimeout);
    ASSERT_EQ(letters.size(), 1u) << server.Log();
    // Postfix stores lines with LF and has undone the dot-stuffing.
    const std::string expected =
        "Subject: through Postfix\n\n.\n..two\n.\nGr\xC3\xBC\xC3\x9F"
        "e\nbare\nend" +
        std::string(300, 'y') + "\n.dot after a long line\nlast\n";
    EXPECT_EQ(PostfixServer::WithoutTrace(letters[0]), expected);
}

}  // namespace
