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

#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/ThreadDatabase.h"
#include "postoffice/TrustedSenderList.h"
#include "support/ChildProcess.h"
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

// The data folder's post office with an empty approved senders list, as start-up leaves it.
void GivePostOffice(const fs::path& data) {
    ::setenv("MOXEL_DATA_DIR", data.c_str(), 1);
    ThreadDataScope threadData;
    TrustedSenderList trusted;
    trusted.SetPersistent(true);
    DatabaseLayer::ExecuteStatement(
        Format("INSERT INTO PostOffice (trustedAddressesId) VALUES (%1%);", trusted.GetId()));
    GetAppProperties().SetPopPostOfficeRowId(DatabaseLayer::GetLastInsertId());
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
};

void Check(const Row& row, const moxeltest::RunResult& result, bool running) {
    SCOPED_TRACE(row.label);
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
const std::vector<Row> kRows = {
    {"settings list their defaults", {"settings"}, 0, "PopPort = 110\nWorkInterval = 300\n", true},
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
    {"an entry with a blank", {"senders", "add", "a b@example.com"}, 1, "", false, "a b@example"},
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
};

enum class Mode { NoCopyRunning, CopyRunning };

class CommandLineTest : public ::testing::TestWithParam<Mode> {
protected:
    moxeltest::TempDir data;
};

TEST_P(CommandLineTest, EachCommandWithAndWithoutARunningCopy) {
    // Made by a first run of a command, as a person's first command would.
    ASSERT_EQ(Moxel(data.Path(), {"settings"}).exitCode, 0);
    GivePostOffice(data.Path());
    const bool running = GetParam() == Mode::CopyRunning;
    std::unique_ptr<ChildProcess> copy;
    const auto database = data.Path() / "moxel.db";
    if (running) {
        copy = std::make_unique<ChildProcess>(MOXEL_BINARY, std::vector<std::string>{"--headless"},
                                              Environment(data.Path()));
        ASSERT_TRUE(copy->WaitForStderr("Moxel is running", 20s)) << copy->Stderr();
        // A box the running copy holds open: a command must never free it under the copy.
        moxeltest::ExecuteOn(
            database, "INSERT INTO LetterCollection (openCount, openingThreadId) VALUES (1, 7);");
    }
    for (const auto& row : kRows) {
        Check(row, Moxel(data.Path(), row.args), running);
    }
    if (running) {
        EXPECT_EQ(moxeltest::QueryText(database, "SELECT openCount FROM LetterCollection;"), "1");
        copy->Signal(SIGTERM);
        EXPECT_EQ(copy->WaitFor(5s), std::optional<int>(0)) << copy->Stderr();
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
    ChildProcess copy(MOXEL_BINARY, {"--headless"}, Environment(data.Path()));
    ASSERT_TRUE(copy.WaitForStderr("Moxel is running", 20s)) << copy.Stderr();
    const auto socketPath = data.Path() / "Ostrand.Moxel.1.sock";
    const std::string set = "settings set PopPort 2999";
    std::string manyWords = Length(0);
    for (int i = 0; i < 65; ++i) {
        manyWords += Length(1) + "x";
    }
    struct Case {
        const char* label;
        std::string bytes;
    };
    const Case cases[] = {
        {"a line of text", "settings set PopPort 2999\r\n"},
        {"a length above the limit", "MXRQ" + Length(0xFFFFFFF0u)},
        {"a field running past the body", "MXRQ" + Length(12) + Length(0) + Length(100) + "PopP"},
        {"a body shorter than announced", "MXRQ" + Length(40) + Length(0) + Length(8) + "settings"},
        {"no fields at all", "MXRQ" + Length(0)},
        {"too many words", "MXRQ" + Length(manyWords.size()) + manyWords},
        {"a reply sent as a request", "MXRP" + Length(4) + Length(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(SendRaw(socketPath, c.bytes), "");
        EXPECT_TRUE(copy.IsRunning()) << copy.Stderr();
    }
    const auto port = Moxel(data.Path(), {"settings", "get", "PopPort"});
    EXPECT_EQ(port.exitCode, 0) << port.err;
    EXPECT_EQ(port.out, "110\n");

    copy.Signal(SIGTERM);
    ASSERT_EQ(copy.WaitFor(5s), std::optional<int>(0)) << copy.Stderr();
    std::string log;
    for (const auto& name : moxeltest::FileNames(data.Path() / "Logs")) {
        std::ifstream in(data.Path() / "Logs" / name);
        log += std::string(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(log.find("does not speak the control protocol"), std::string::npos) << log;
    EXPECT_NE(log.find("is not well framed"), std::string::npos) << log;
}

// A data folder its user cannot write (a full or read-only disk looks the same to a command):
// one line, status 1, and the settings and senders are as they were.
TEST(CommandLineSocketTest, UnwritableDataFolderChangesNothing) {
    moxeltest::TempDir base;
    const auto data = base.Path() / "Moxel";
    ASSERT_EQ(Moxel(data, {"settings", "set", "PopPort", "2110"}).exitCode, 0);
    GivePostOffice(data);
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
