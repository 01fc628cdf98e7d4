#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "peers/AiosmtpdServer.h"
#include "peers/DovecotServer.h"
#include "support/ChildProcess.h"
#include "support/FreePopPort.h"
#include "support/LogFiles.h"
#include "support/SqliteFile.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using moxeltest::ChildProcess;

namespace {

constexpr uid_t kNobody = 65534;

std::map<std::string, std::string> Environment(const fs::path& data) {
    return {{"MOXEL_DATA_DIR", data.string()}};
}

moxeltest::RunResult Moxel(const fs::path& data, const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt) {
    return moxeltest::RunToEnd(MOXEL_BINARY, args, Environment(data), {}, 30s, input);
}

// One command and what it must print. A failing command prints nothing on standard output and
// exactly one line on standard error, holding `err`.
struct Row {
    const char* label;
    std::vector<std::string> args;
    int status;
    // Standard output, whole; or, with `partOf`, a part of it.
    std::string out;
    bool partOf = false;
    std::string err = "";
    // Added to `out` when a running copy carried the command out.
    std::string outWhenRunning = "";
    // Standard input, for a password.
    std::optional<std::string> input = std::nullopt;
};

constexpr const char* kPassword = "pw-Kx93qz";

void Check(const Row& row, const moxeltest::RunResult& result, bool running) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ((result.out + result.err).find(kPassword), std::string::npos);
    EXPECT_EQ(result.exitCode, row.status) << result.out << result.err;
    if (row.status != 0) {
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        return;
    }
    EXPECT_EQ(result.err, "");
    const std::string expected = row.out + (running ? row.outWhenRunning : "");
    if (row.partOf) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << result.out;
    } else {
        EXPECT_EQ(result.out, expected);
    }
}

// The rows run in order on one data folder: each sees what the rows before it changed, and the
// failing ones show that they changed nothing.
std::vector<Row> Rows(const std::string& host, const std::string& smtpServer) {
    const std::string key = "tester@example.test/tester/" + host;
    const auto add = [&host](const char* label, const std::string& address, const std::string& port,
                             int status, const std::string& message, const std::string& input) {
        return Row{label,  {"accounts", "add", address, "tester", port.empty() ? host : port},
                   status, message,
                   true,   message,
                   "",     input};
    };
    return {
        {"settings list their defaults",
         {"settings"},
         0,
         "PopPort = 110\nWorkInterval = 300\n",
         true},
        {"a port is stored",
         {"settings", "set", "PopPort", "2110"},
         0,
         "PopPort = 2110\n",
         false,
         "",
         "The running copy uses the new value from its next start.\n"},
        {"a port that is no number", {"settings", "set", "PopPort", "21x0"}, 1, "", false, "21x0"},
        {"a port above 65535", {"settings", "set", "PopPort", "65536"}, 1, "", false, "65535"},
        {"an unknown setting", {"settings", "set", "PopPortal", "25"}, 1, "", false, "PopPortal"},
        {"a flag that is neither true nor false",
         {"settings", "set", "LeaveCopies", "yes"},
         1,
         "",
         false,
         "true or false"},
        {"the port is what was stored", {"settings", "get", "PopPort"}, 0, "2110\n"},
        {"a flag is stored", {"settings", "set", "LeaveCopies", "true"}, 0, "LeaveCopies = true\n"},
        {"the held mail digest is switched off",
         {"settings", "set", "HeldMailDigest", "false"},
         0,
         "HeldMailDigest = false\n"},
        {"the listing for scripts",
         {"settings", "--json"},
         0,
         "{\"PopPort\": \"2110\", \"WorkInterval\": \"300\", \"LeaveCopies\": \"true\"",
         true},
        {"set without a value", {"settings", "set", "PopPort"}, 2, "", false, "usage"},
        {"get of an unknown name", {"settings", "get", "Nope"}, 1, "", false, "unknown setting"},
        {"no senders yet", {"senders"}, 0, ""},
        {"a domain is approved", {"senders", "add", "example.org"}, 0, "Approved example.org\n"},
        {"an address is approved",
         {"senders", "add", "friend@example.com"},
         0,
         "Approved friend@example.com\n"},
        {"an address the domain covers",
         {"senders", "add", "anyone@example.org"},
         0,
         "anyone@example.org is already approved\n"},
        {"an entry with a blank",
         {"senders", "add", "a b@example.com"},
         1,
         "",
         false,
         "a b@example"},
        {"an entry with nothing after @", {"senders", "add", "friend@"}, 1, "", false, "friend@"},
        {"the listing for scripts",
         {"senders", "--json"},
         0,
         "[\"example.org\", \"friend@example.com\"]\n"},
        {"removing an entry that is not listed",
         {"senders", "remove", "stranger@example.net"},
         1,
         "",
         false,
         "stranger@example.net"},
        {"removing an entry",
         {"senders", "remove", "friend@example.com"},
         0,
         "Removed friend@example.com\n"},
        {"what is left", {"senders"}, 0, "example.org\n"},
        {"an unknown sub-command", {"senders", "list"}, 2, "", false, "usage"},
        {"--json where nothing is listed",
         {"senders", "add", "x.org", "--json"},
         2,
         "",
         false,
         "usage"},
        add("an empty password", "tester@example.test", "", 1, "password is empty", ""),
        add("a port that is no number", "tester@example.test", "127.0.0.1:pop", 1, "Invalid port",
            kPassword),
        add("a port above 65535", "tester@example.test", "127.0.0.1:65536", 1, "Invalid port",
            kPassword),
        add("an address without @", "tester", "", 1, "not an e-mail address", kPassword),
        {"no accounts yet", {"accounts"}, 0, ""},
        add("an account is protected", "tester@example.test", "", 0, "Protected " + key + "\n",
            std::string(kPassword) + "\n"),
        add("the same account again", "tester@example.test", "", 1, "already protected", kPassword),
        {"the account", {"accounts"}, 0, key + "  inbox 0, held 0\n"},
        {"an SMTP port above 65535",
         {"smtp", "set", "--server", "127.0.0.1:65536"},
         1,
         "",
         false,
         "65536"},
        {"an SMTP login without a password",
         {"smtp", "set", "--server", smtpServer, "--user", "bob"},
         1,
         "",
         false,
         "password is empty"},
        {"an SMTP option twice",
         {"smtp", "set", "--server", "a", "--server", "b"},
         2,
         "",
         false,
         "usage"},
        {"the SMTP server is stored",
         {"smtp", "set", "--server", smtpServer},
         0,
         "server = " + smtpServer + "\nauth = none\n"},
        {"the SMTP settings for scripts",
         {"smtp", "--json"},
         0,
         "{\"server\": \"" + smtpServer + "\", \"auth\": \"none\"",
         true},
        {"an SMTP test from the account to an address",
         {"smtp", "test", "me@example.test"},
         0,
         "Your settings have PASSED the test.\n",
         true},
        {"an SMTP test to no address", {"smtp", "test", "nobody"}, 1, "", false, "nobody"},
        {"a collection: one letter approved, one held and its sender asked",
         {"collect"},
         0,
         "2 letters downloaded, 1 to the inbox, 1 sent\n",
         true},
        {"the status", {"status"}, 0, "  " + key + "  inbox 1, held 1\n", true},
        {"removing a malformed key", {"accounts", "remove", "tester"}, 1, "", false, "account key"},
        {"removing an unknown account",
         {"accounts", "remove", "other@example.test/other/" + host},
         1,
         "",
         false,
         "no account"},
        {"removing the account keeps its letters",
         {"accounts", "remove", key},
         0,
         "2 letters still wait for the mail program",
         true},
        {"the account's letters wait in its inbox",
         {"accounts", "--json"},
         0,
         "\"collected\": false, \"inbox\": 2, \"held\": 0}]\n",
         true},
    };
}

enum class Mode { NoCopyRunning, CopyRunning };

class CommandLineTest : public ::testing::TestWithParam<Mode> {
protected:
    moxeltest::TempDir data;
};

TEST_P(CommandLineTest, EachCommandWithAndWithoutARunningCopy) {
    moxeltest::DovecotServer dovecot({{{"tester", kPassword}}, {}, ""});
    dovecot.AddMessage("tester", "From: pal@example.org\nSubject: Approved\n\nText\n");
    dovecot.AddMessage("tester", "From: stranger@example.net\nSubject: Held\n\nText\n");
    dovecot.Start();
    moxeltest::TempDir sent;
    moxeltest::AiosmtpdServer smtp(sent.Path());
    ASSERT_NE(smtp.Port(), 0) << "python3-aiosmtpd is missing";
    const bool running = GetParam() == Mode::CopyRunning;
    std::unique_ptr<ChildProcess> copy;
    const auto database = data.Path() / "moxel.db";
    if (running) {
        moxeltest::UseFreePopPort(Environment(data.Path()));
        copy = std::make_unique<ChildProcess>(MOXEL_BINARY, std::vector<std::string>{"--headless"},
                                              Environment(data.Path()));
        ASSERT_TRUE(copy->WaitForStderr("Moxel is running", 20s)) << copy->Stderr();
        // The copy listens on the free port; the rows begin from the default setting.
        ASSERT_EQ(Moxel(data.Path(), {"settings", "set", "PopPort", "110"}).exitCode, 0);
        // A box the running copy holds open: a command must never free it under the copy.
        moxeltest::ExecuteOn(
            database, "INSERT INTO LetterCollection (openCount, openingThreadId) VALUES (1, 7);");
    }
    for (const auto& row : Rows("127.0.0.1:" + std::to_string(dovecot.Pop3Port()),
                                "127.0.0.1:" + std::to_string(smtp.Port()))) {
        // A collection run frees boxes no thread holds; up to the first, none is touched.
        if (running && row.args[0] == "collect") {
            EXPECT_EQ(moxeltest::QueryText(database,
                                           "SELECT openCount FROM LetterCollection "
                                           "WHERE openingThreadId = 7;"),
                      "1");
        }
        Check(row, Moxel(data.Path(), row.args, row.input), running);
    }
    // Two test letters (from the account and from the address named) and one request.
    // aiosmtpd writes a message's envelope file once the message is whole.
    const auto envelopes = [&sent] {
        return std::count_if(
            fs::directory_iterator(sent.Path()), fs::directory_iterator(),
            [](const auto& entry) { return entry.path().extension() == ".envelope"; });
    };
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (envelopes() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(envelopes(), 3);
    if (running) {
        copy->Signal(SIGTERM);
        EXPECT_EQ(copy->WaitFor(5s), std::optional<int>(0)) << copy->Stderr();
    }
    for (const auto& name :
         running ? moxeltest::FileNames(data.Path() / "Logs") : std::vector<std::string>()) {
        std::ifstream log(data.Path() / "Logs" / name);
        const std::string text{std::istreambuf_iterator<char>(log), {}};
        EXPECT_EQ(text.find(kPassword), std::string::npos) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CommandLineTest,
                         ::testing::Values(Mode::NoCopyRunning, Mode::CopyRunning),
                         [](const auto& param) {
                             return param.param == Mode::CopyRunning ? "CopyRunning"
                                                                     : "NoCopyRunning";
                         });

std::string Length(std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    return std::string(bytes, 4);
}

// Sends `bytes` to the socket and reads until the copy closes the connection; what came back.
std::string SendRaw(const fs::path& socketPath, const std::string& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
        answer.append(buffer, n);
    }
    ::close(fd);
    return answer;
}

// Whatever a peer sends, the running copy answers nothing it did not understand, carries
// nothing out, and goes on answering well-framed commands.
TEST(CommandLineSocketTest, ForeignFramingIsRefusedAndTheCopyGoesOn) {
    moxeltest::TempDir data;
    moxeltest::UseFreePopPort(Environment(data.Path()));
    const std::string portBefore = Moxel(data.Path(), {"settings", "get", "PopPort"}).out;
    ChildProcess copy(MOXEL_BINARY, {"--headless"}, Environment(data.Path()));
    ASSERT_TRUE(copy.WaitForStderr("Moxel is running", 20s)) << copy.Stderr();
    const auto socketPath = data.Path() / "Ostrand.Moxel.1.sock";
    const std::string set = "settings set PopPort 2999";
    std::string manyWords = Length(0);
    for (int i = 0; i < 65; ++i) {
        manyWords += Length(1) + "x";
    }
    // Each refusal is written to the application log with its own reason.
    struct Case {
        const char* label;
        std::string bytes;
        const char* reason;
    };
    const std::string foreign = "does not speak the control protocol";
    const std::string cutShort = "cut short or above the size limit";
    const std::string incomplete = "sent no complete request";
    const std::string badFields = "is not well framed";
    const Case cases[] = {
        {"a line of text", "settings set PopPort 2999\r\n", foreign.c_str()},
        {"a reply sent as a request", "MXRP" + Length(4) + Length(0), foreign.c_str()},
        {"a length above the limit", "MXRQ" + Length(0xFFFFFFF0u), cutShort.c_str()},
        {"a header cut short", "MXRQ" + std::string(2, '\0'), cutShort.c_str()},
        {"a body shorter than announced", "MXRQ" + Length(40) + Length(0) + Length(8) + "settings",
         incomplete.c_str()},
        {"a field running past the body", "MXRQ" + Length(12) + Length(0) + Length(100) + "PopP",
         badFields.c_str()},
        {"no fields at all", "MXRQ" + Length(0), badFields.c_str()},
        {"too many words", "MXRQ" + Length(manyWords.size()) + manyWords, badFields.c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(SendRaw(socketPath, c.bytes), "");
        EXPECT_TRUE(copy.IsRunning()) << copy.Stderr();
    }
    const auto port = Moxel(data.Path(), {"settings", "get", "PopPort"});
    EXPECT_EQ(port.exitCode, 0) << port.err;
    EXPECT_EQ(port.out, portBefore);
    EXPECT_NE(port.out, "2999\n");

    copy.Signal(SIGTERM);
    ASSERT_EQ(copy.WaitFor(5s), std::optional<int>(0)) << copy.Stderr();
    std::string log;
    for (const auto& name : moxeltest::FileNames(data.Path() / "Logs")) {
        std::ifstream in(data.Path() / "Logs" / name);
        log += std::string(std::istreambuf_iterator<char>(in), {});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto count = [&log](const std::string& text) {
            std::size_t n = 0;
            for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
                ++n;
            }
            return n;
        };
        const auto expected = std::count_if(
            std::begin(cases), std::end(cases),
            [&c](const Case& other) { return std::string(other.reason) == c.reason; });
        EXPECT_EQ(count(c.reason), static_cast<std::size_t>(expected)) << log;
    }
}

// A data folder its user cannot write (a full or read-only disk looks the same to a command):
// one line, status 1, and the settings and senders are as they were.
TEST(CommandLineSocketTest, UnwritableDataFolderChangesNothing) {
    moxeltest::TempDir base;
    const auto data = base.Path() / "Moxel";
    ASSERT_EQ(Moxel(data, {"settings", "set", "PopPort", "2110"}).exitCode, 0);
    ASSERT_EQ(Moxel(data, {"senders"}).exitCode, 0);
    const auto database = data / "moxel.db";
    const std::string rows = "SELECT group_concat(name || '=' || value) FROM AppProperty;";
    const auto before = moxeltest::QueryText(database, rows);
    // Root writes anywhere: the commands then run as an ordinary user who owns nothing here.
    const bool asRoot = ::geteuid() == 0;
    ::chmod(base.Path().c_str(), 0755);
    for (const auto& entry : fs::directory_iterator(data)) {
        ::chmod(entry.path().c_str(), entry.is_directory() ? 0555 : 0444);
    }
    ::chmod(data.c_str(), 0555);
    const std::vector<std::vector<std::string>> commands = {
        {"settings", "set", "PopPort", "2999"},
        {"senders", "add", "example.org"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = command;
        std::string program = MOXEL_BINARY;
        if (asRoot) {
            args.insert(args.begin(),
                        {"--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNobody),
                         "--clear-groups", MOXEL_BINARY});
            program = "/usr/bin/setpriv";
        }
        const auto result = moxeltest::RunToEnd(program, args, Environment(data));
        EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(data.string()), std::string::npos) << result.err;
    }
    ::chmod(data.c_str(), 0700);
    for (const auto& entry : fs::directory_iterator(data)) {
        ::chmod(entry.path().c_str(), entry.is_directory() ? 0700 : 0600);
    }
    EXPECT_EQ(moxeltest::QueryText(database, rows), before);
    const auto senders = Moxel(data, {"senders"});
    EXPECT_EQ(senders.exitCode, 0) << senders.err;
    EXPECT_EQ(senders.out, "");
}

TEST(CommandLineSocketTest, HelpListsTheCommands) {
    const auto help = moxeltest::RunToEnd(MOXEL_BINARY, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* line : {"settings set NAME VALUE", "senders add ENTRY", "--headless"}) {
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    }
}

}  // namespace
