// Against a real SMTP server: aiosmtpd on loopback, which saves what it accepts.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "SmtpwireTest.h"
#include "support/TestDataDir.h"

namespace {

using namespace smtpwiretest;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// aiosmtpd as a child whose standard input we hold (it stops when that closes) and whose
// standard output gives its port.
class AiosmtpdServer {
public:
    explicit AiosmtpdServer(const std::filesystem::path& folder) {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(input[0], 0);
            ::dup2(output[1], 1);
            ::execl("/usr/bin/python3", "python3", MOXEL_TEST_AIOSMTPD_HANDLER, folder.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        stdinWrite = input[1];
        std::string line;
        char byte;
        while (::read(output[0], &byte, 1) == 1 && byte != '\n') {
            line += byte;
        }
        ::close(output[0]);
        port = line.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(line));
    }
    ~AiosmtpdServer() {
        ::close(stdinWrite);
        int status = 0;
        for (int tries = 0; tries < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    std::uint16_t port = 0;

private:
    pid_t pid = -1;
    int stdinWrite = -1;
};

TEST_F(SmtpwireTest, ARealServerReceivesTheLettersExactly) {
    moxeltest::TempDir folder;
    AiosmtpdServer server(folder.Path());
    ASSERT_NE(server.port, 0) << "aiosmtpd did not start (is python3-aiosmtpd installed?)";
    std::string text =
        "Subject: real\n\n.\n..two\nGr\xC3\xBC\xC3\x9F"
        "e\r\nbare\rend";
    text += std::string(300, 'y') + "\n.dot after a long line\nlast";

    const int handle = SmtpConnectA("127.0.0.1", server.port, 10);
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
    EXPECT_EQ(ReadFile(folder.Path() / "1.eml"), expected);
    EXPECT_EQ(ReadFile(folder.Path() / "2.eml"), expected);
    EXPECT_EQ(ReadFile(folder.Path() / "1.envelope"),
              "from@test.invalid\none@test.invalid\nBODY=8BITMIME\n");
    EXPECT_EQ(ReadFile(folder.Path() / "2.envelope"),
              "from@test.invalid\ntwo@test.invalid\nBODY=8BITMIME\n");
}

}  // namespace
