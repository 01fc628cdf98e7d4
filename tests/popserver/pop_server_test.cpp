// The local POP3 server on loopback, against real mail clients (curl, Python's poplib) and a raw
// socket for the bad input a hostile or broken client sends.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/algorithm/string/replace.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "core/EventReporter.h"
#include "core/RealTimeClock.h"
#include "core/SessionEventLogger.h"
#include "core/TimeCard.h"
#include "peers/AiosmtpdServer.h"
#include "peers/DovecotServer.h"
#include "popserver/LocalPopServer.h"
#include "popwire.h"
#include "support/ChildProcess.h"
#include "support/InboxFixture.h"
#include "support/LetterBoxContents.h"
#include "support/LogFiles.h"
#include "support/LoopbackSockets.h"
#include "support/TestDataDir.h"

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

const std::string kPassword = "secret-77";
const std::string kGetmail = "/usr/bin/getmail";

// A client that speaks POP3 by hand, one line at a time, waiting at most 10 seconds for each.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) : socket(moxeltest::ConnectToLoopback(port)) {}

    // Sends everything it can; a server that already closed may refuse the rest.
    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const auto result =
                ::send(socket.Get(), bytes.data() + sent,
                       std::min<std::size_t>(bytes.size() - sent, 65536), MSG_NOSIGNAL);
            if (result <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(result);
        }
    }
    // The next line without CR LF; nullopt when the server closed the connection (or was
    // silent for 10 seconds).
    std::optional<std::string> ReadLine() {
        for (;;) {
            const auto end = pending.find("\r\n");
            if (end != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 2);
                return line;
            }
            pollfd ready{socket.Get(), POLLIN, 0};
            if (::poll(&ready, 1, 10000) <= 0) {
                return std::nullopt;
            }
            char buffer[4096];
            const auto received = ::recv(socket.Get(), buffer, sizeof(buffer), 0);
            if (received <= 0) {
                return std::nullopt;
            }
            pending.append(buffer, static_cast<std::size_t>(received));
        }
    }
    // True when the server closes the connection (whatever it sends before), false when it is
    // still open after 10 seconds of silence.
    bool ClosedByServer() {
        for (;;) {
            pollfd ready{socket.Get(), POLLIN, 0};
            if (::poll(&ready, 1, 10000) <= 0) {
                return false;
            }
            char buffer[65536];
            if (::recv(socket.Get(), buffer, sizeof(buffer), 0) <= 0) {
                return true;
            }
        }
    }
    void LogIn(const std::string& user) {
        Send("USER " + user + "\r\nPASS " + kPassword + "\r\n");
        EXPECT_EQ(ReadLine(), "+OK");
        EXPECT_EQ(ReadLine(), "+OK");
    }
    moxeltest::Descriptor& Socket() { return socket; }

private:
    moxeltest::Descriptor socket;
    std::string pending;
};

// The bytes a client receives for a stored text: CR LF line ends, and a last line end only
// where the text has none.
std::string OnTheWire(std::string text) {
    boost::algorithm::replace_all(text, "\n", "\r\n");
    if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") {
        text += "\r\n";
    }
    return text;
}

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int n = 0; n < count; ++n) {
        text += line + "\n";
    }
    return text;
}

class PopServerTest : public moxeltest::InboxTest {
protected:
    const Strings letters{
        "From: friend@example.com\nSubject: plain\n\nHello\n",
        "Subject: dots\n\n.\n..two\n.three\nend\n",
        "Subject: no line end\n\nthe last line stops here",
        "Subject: large\n\n" + Lines(4000, std::string(75, 'x')),
    };

    void SetUp() override {
        InboxTest::SetUp();
        reporter->AddHandler(&sessionLog);
        server = StartServer({}, port);
        ASSERT_NE(port, 0);
    }
    // Another server over the same post office, with other limits.
    std::unique_ptr<LocalPopServer> StartServer(LocalPopServerLimits limits,
                                                std::uint16_t& listening) {
        auto started = std::make_unique<LocalPopServer>(
            *office, reporter,
            [this](const std::string& line) {
                std::lock_guard<std::mutex> guard(logLock);
                log.push_back(line);
            },
            limits);
        started->Start(0);
        listening = static_cast<std::uint16_t>(started->WaitUntilListening(10s));
        return started;
    }
    std::string SessionLog() const {
        std::string all;
        for (const auto& name : moxeltest::FileNames(dataDir.Path() / "Logs")) {
            for (const auto& line : moxeltest::ReadLogMessages(dataDir.Path() / "Logs" / name)) {
                all += line + "\n";
            }
        }
        return all;
    }
    void TearDown() override {
        server.reset();
        InboxTest::TearDown();
    }
    RawClient Greeted() {
        RawClient client(port);
        EXPECT_EQ(client.ReadLine(), "+OK Welcome to Moxel");
        return client;
    }
    std::string Url(const std::string& path) const {
        return "pop3://127.0.0.1:" + std::to_string(port) + path;
    }
    moxeltest::RunResult Curl(const std::vector<std::string>& more) const {
        std::vector<std::string> args{"-s", "-S", "--max-time",
                                      "30", "-u", kKey.ToString() + ":" + kPassword};
        args.insert(args.end(), more.begin(), more.end());
        return moxeltest::RunToEnd("/usr/bin/curl", args, {}, {}, 40s);
    }
    // getmail6 with a throw-away configuration: each letter handed to a command that stores it
    // in a file of its own (getmail's Maildir refuses to deliver as root), kept on the server.
    // The delivered files, as they stand.
    Strings RunGetmail() const {
        moxeltest::TempDir work;
        const auto delivered = work.Path() / "delivered";
        std::filesystem::create_directories(delivered);
        const auto rcfile = work.Path() / "getmailrc";
        {
            std::ofstream rc(rcfile);
            rc << "[retriever]\ntype = SimplePOP3Retriever\nserver = 127.0.0.1\nport = " << port
               << "\nusername = " << kKey.ToString() << "\npassword = " << kPassword
               << "\n\n[destination]\ntype = MDA_external\npath = /bin/sh\n"
               << "arguments = (\"-c\", \"cat > $(mktemp " << delivered.string()
               << "/letter.XXXXXX)\")\nallow_root_commands = true\n\n[options]\nread_all = true\n"
               << "delete = false\ndelivered_to = false\nreceived = false\n"
               << "message_log_syslog = false\n";
        }
        const auto result = moxeltest::RunToEnd(
            kGetmail, {"--rcfile=" + rcfile.string(), "--getmaildir=" + work.Path().string()},
            {{"HOME", work.Path().string()}}, {}, 60s);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        Strings texts;
        for (const auto& entry : std::filesystem::directory_iterator(delivered)) {
            texts.push_back(moxeltest::ReadWholeFile(entry.path()));
        }
        return texts;
    }
    Strings Log() {
        std::lock_guard<std::mutex> guard(logLock);
        return log;
    }

    std::shared_ptr<EventReporter> reporter = std::make_shared<EventReporter>();
    SessionEventLogger sessionLog{dataDir.Path() / "Logs", std::make_shared<RealTimeClock>()};
    std::unique_ptr<LocalPopServer> server;
    std::uint16_t port = 0;
    std::mutex logLock;
    Strings log;
};

const char* const kPoplibScript = R"(
import poplib, sys
port, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3]
box = poplib.POP3('127.0.0.1', port, timeout=30)
box.user(user)
box.pass_(password)
count, size = box.stat()
for n in range(1, count + 1):
    lines = box.retr(n)[1]
    sys.stdout.buffer.write(b'\n'.join(lines) + b'\n=====\n')
    box.dele(n)
box.quit()
)";

TEST_F(PopServerTest, RealClientsDownloadTheLettersByteForByte) {
    FillInbox(letters);
    for (std::size_t n = 1; n <= letters.size(); ++n) {
        SCOPED_TRACE("curl RETR " + std::to_string(n));
        const auto result = Curl({Url("/" + std::to_string(n))});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out == OnTheWire(letters[n - 1])) << result.out.substr(0, 200);
    }
    {
        SCOPED_TRACE("curl LIST");
        std::string expected;
        for (std::size_t n = 1; n <= letters.size(); ++n) {
            expected += std::to_string(n) + " " + std::to_string(letters[n - 1].size()) + "\r\n";
        }
        EXPECT_EQ(Curl({Url("/")}).out, expected);
    }
    {
        SCOPED_TRACE("curl UIDL: one id per letter, the same on the next connection");
        const auto first = Curl({"-X", "UIDL", Url("/")}).out;
        EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 4);
        EXPECT_EQ(Curl({"-X", "UIDL", Url("/")}).out, first);
    }
    const bool haveGetmail = std::filesystem::exists(kGetmail);
    if (haveGetmail) {
        SCOPED_TRACE("getmail6, leaving the mail on the server");
        const auto delivered = RunGetmail();
        EXPECT_EQ(delivered.size(), letters.size());
        for (const auto& text : letters) {
            // getmail heads each letter with the envelope sender, which POP3 does not carry.
            const std::string expected =
                "Return-Path: <unknown>\n" + (text.back() == '\n' ? text : text + "\n");
            EXPECT_EQ(std::count(delivered.begin(), delivered.end(), expected), 1)
                << expected.substr(0, 60);
        }
        EXPECT_EQ(InboxTexts().size(), letters.size());
    }
    {
        SCOPED_TRACE("poplib downloads everything, deletes it and quits");
        const auto result = moxeltest::RunToEnd(
            "/usr/bin/python3",
            {"-c", kPoplibScript, std::to_string(port), kKey.ToString(), kPassword}, {}, {}, 60s);
        std::string expected;
        for (const auto& text : letters) {
            expected += (text.back() == '\n' ? text : text + "\n") + "=====\n";
        }
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out == expected) << result.out.substr(0, 300);
        EXPECT_TRUE(InboxTexts().empty());
    }
    const auto sessionLines = moxeltest::ReadLogMessages(
        dataDir.Path() / "Logs" / moxeltest::FileNames(dataDir.Path() / "Logs").at(0));
    std::string all;
    for (const auto& line : sessionLines) {
        all += line + "\n";
    }
    EXPECT_NE(all.find("> PASS *********"), std::string::npos) << all.substr(0, 2000);
    EXPECT_EQ(all.find(kPassword), std::string::npos) << "the password stays out of the log";
    if (!haveGetmail) {
        GTEST_SKIP() << "getmail6 is not installed (scripts/install-deps.sh test installs it): "
                        "its row did not run";
    }
}

// fetchmail keeping mail on the server (--keep with UIDL): each letter is fetched once over
// several runs, and a letter that arrives later with the text of one already fetched is fetched
// too (an id made of the text alone would hide it for good).
TEST_F(PopServerTest, FetchmailKeepingMailFetchesEachLetterOnce) {
    const std::string twin = "Subject: twin\n\nsame\n";
    FillInbox({twin});
    moxeltest::TempDir work;
    const auto output = work.Path() / "delivered";
    const auto rcfile = work.Path() / "fetchmailrc";
    {
        std::ofstream rc(rcfile);
        rc << "set no syslog\n"
           << "poll 127.0.0.1 protocol pop3 service " << port << " uidl\n"
           << "  user \"" << kKey.ToString() << "\" there with password \"" << kPassword
           << "\" is root here\n"
           << "  keep sslproto '' mda \"/bin/sh -c 'cat >> " << output.string() << "'\"\n";
    }
    std::filesystem::permissions(
        rcfile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const auto fetch = [&] {
        return moxeltest::RunToEnd(
            "/usr/bin/fetchmail",
            {"-f", rcfile.string(), "-i", (work.Path() / "ids").string(), "--nodetach"},
            {{"HOME", work.Path().string()}}, {}, 60s);
    };
    const auto twins = [&] {
        const std::string text = moxeltest::ReadWholeFile(output);
        std::size_t count = 0;
        for (auto at = text.find("Subject: "); at != std::string::npos;
             at = text.find("Subject: ", at + 1)) {
            ++count;
        }
        return count;
    };
    auto run = fetch();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(twins(), 1u);
    run = fetch();
    EXPECT_EQ(run.exitCode, 1) << "no new mail: " << run.err;
    EXPECT_EQ(twins(), 1u);
    FillInbox({twin});
    run = fetch();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(twins(), 2u) << "the later letter of the same text";
    EXPECT_EQ(InboxTexts().size(), 2u) << "kept on the server";
}

struct BadInputCase {
    std::string label;
    bool logIn;
    std::string request;
    // Reply lines in order; a trailing "(closed)" means the server then closes.
    Strings replies;
};

TEST_F(PopServerTest, BadInputGetsItsReplyOrAClosedConnectionAndRemovesNothing) {
    FillInbox({letters[0], letters[1]});
    const std::string size0 = std::to_string(letters[0].size());
    const std::string size1 = std::to_string(letters[1].size());
    const std::vector<BadInputCase> cases{
        {"1 MB without a line end", false, std::string(1 << 20, 'a'), {"(closed)"}},
        {"a 10 KB line", true, "NOOP " + std::string(10240, 'b') + "\r\nNOOP\r\n", {"(closed)"}},
        {"NUL bytes",
         false,
         std::string("NO\0OP\r\nUSER a\0b\r\n", 17),
         {"-ERR Invalid command", "-ERR Invalid command"}},
        {"a huge number", true, "RETR 99999999999999999999\r\n", {"-ERR Invalid message number"}},
        {"-1", true, "DELE -1\r\n", {"-ERR Invalid command"}},
        {"TOP with a negative line count", true, "TOP 1 -1\r\n", {"-ERR Invalid command"}},
        {"mixed case, octal and hex numbers",
         true,
         "sTaT\r\nlist 01\r\nLiSt 0x2\r\n",
         {"+OK 2 " + std::to_string(letters[0].size() + letters[1].size()), "+OK 1 " + size0,
          "+OK 2 " + size1}},
        {"before login",
         false,
         "LIST\r\nNOOP\r\nRETR 0\r\nLIST 1\r\n",
         {"-ERR Mailbox not ready", "+OK", "-ERR Invalid message number",
          "-ERR Mailbox not ready"}},
        {"a second USER", true, "USER other\r\n", {"-ERR Authorization error"}},
        {"PASS without USER", false, "PASS x\r\n", {"-ERR Authorization error"}},
        {"a password of digits stays text",
         false,
         "USER " + kKey.ToString() + "\r\nPASS 0123\r\nSTAT\r\n",
         {"+OK", "+OK", "+OK 2 " + std::to_string(letters[0].size() + letters[1].size())}},
        {"bare line feeds",
         false,
         "NOOP\nUSER " + kKey.ToString() + "\nPASS\tpw\n",
         {"+OK", "+OK", "+OK"}},
        {"requests behind a failed one are answered at once",
         true,
         "RETR 9\r\nDELE 1\r\nRETR 1\r\nLIST\r\nUIDL 1\r\n",
         {"-ERR Invalid message number", "+OK", "-ERR Message deleted", "+OK", "2 " + size1, ".",
          "-ERR Message deleted"}},
        {"TOP 2 0", true, "TOP 2 0\r\n", {"+OK", "Subject: dots", "", "."}},
        {"CAPA names what the server has",
         false,
         "CAPA\r\n",
         {"+OK Capability list follows", "TOP", "UIDL", "USER", "PIPELINING",
          "IMPLEMENTATION Moxel", "."}},
        {"nothing after QUIT", false, "QUIT\r\nNOOP\r\n", {"+OK Bye", "(closed)"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        RawClient client = Greeted();
        if (row.logIn) {
            client.LogIn(kKey.ToString());
        }
        client.Send(row.request);
        for (const auto& expected : row.replies) {
            if (expected == "(closed)") {
                std::optional<std::string> line;
                while ((line = client.ReadLine())) {
                    EXPECT_EQ(line->rfind("-ERR", 0), 0u) << *line;
                }
            } else {
                EXPECT_EQ(client.ReadLine(), expected);
            }
        }
    }
    RawClient check = Greeted();
    check.LogIn(kKey.ToString());
    check.Send("STAT\r\n");
    EXPECT_EQ(check.ReadLine(), "+OK 2 " + std::to_string(letters[0].size() + letters[1].size()))
        << "nothing is removed without QUIT";
}

TEST_F(PopServerTest, DeleAndQuitRemovesWhileADroppedConnectionMidRetrRemovesNothing) {
    const std::string big = "Subject: big\n\n" + std::string(4 << 20, 'y') + "\n";
    FillInbox({letters[0], big, letters[1]});
    {
        RawClient client = Greeted();
        client.LogIn(kKey.ToString());
        client.Send("DELE 1\r\nRETR 2\r\n");
        EXPECT_EQ(client.ReadLine(), "+OK");
        EXPECT_EQ(client.ReadLine(), "+OK");
        moxeltest::Reset(client.Socket());
    }
    {
        RawClient client = Greeted();
        client.LogIn(kKey.ToString());
        client.Send("STAT\r\nDELE 2\r\nQUIT\r\n");
        EXPECT_EQ(client.ReadLine(),
                  "+OK 3 " + std::to_string(letters[0].size() + big.size() + letters[1].size()));
        EXPECT_EQ(client.ReadLine(), "+OK");
        EXPECT_EQ(client.ReadLine(), "+OK Bye");
        EXPECT_EQ(client.ReadLine(), std::nullopt);
    }
    EXPECT_EQ(InboxTexts(), (Strings{letters[0], letters[1]}));
}

TEST_F(PopServerTest, FiveClientsAreServedASixthIsClosedAndASeventhServedOnceOneLeft) {
    std::vector<std::unique_ptr<RawClient>> served;
    for (int n = 0; n < LocalPopServer::kMaximumSessions; ++n) {
        served.push_back(std::make_unique<RawClient>(port));
        EXPECT_EQ(served.back()->ReadLine(), "+OK Welcome to Moxel") << n;
    }
    RawClient sixth(port);
    EXPECT_EQ(sixth.ReadLine(), std::nullopt) << "closed without a byte";
    served[0]->Send("QUIT\r\n");
    EXPECT_EQ(served[0]->ReadLine(), "+OK Bye");
    EXPECT_EQ(served[0]->ReadLine(), std::nullopt);
    // The server frees a slot on its own time after the client saw the close: a client is
    // greeted within a deadline, not at once.
    const auto greetedSoon = [&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            auto client = std::make_unique<RawClient>(port);
            if (client->ReadLine() == "+OK Welcome to Moxel") {
                return client;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return std::unique_ptr<RawClient>();
            }
            std::this_thread::sleep_for(50ms);
        }
    };
    const auto seventh = greetedSoon();
    EXPECT_TRUE(seventh) << "a seventh client is served once one left";
    served.clear();
    ASSERT_TRUE(greetedSoon()) << "dropped sessions free their slots";
    for (int round = 0; round < 20; ++round) {
        RawClient again(port);
        ASSERT_EQ(again.ReadLine(), "+OK Welcome to Moxel") << "slots are freed and reused";
        again.Send("QUIT\r\n");
        EXPECT_EQ(again.ReadLine(), "+OK Bye");
        EXPECT_EQ(again.ReadLine(), std::nullopt);
        std::this_thread::sleep_for(20ms);
    }
}

// Threads and descriptors of this process, to see that a stopped server leaves none behind.
std::size_t EntriesOf(const char* folder) {
    const auto entries = std::filesystem::directory_iterator(folder);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// Open descriptors, leaving out the database file: SQLite keeps the descriptor of a closed
// connection open, for its next connection, while another one of the process holds a lock.
std::size_t DescriptorsBesidesTheDatabase() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).filename() != "moxel.db") {
            ++count;
        }
    }
    return count;
}

const LetterBoxKey kOtherKey{"other@example.com", "other", "pop.example.com"};

// Clients that stay silent are dropped at the idle limit (short here), as QUIT-less ends: their
// marks are dropped, their slots freed, and the session log records each disconnection.
TEST_F(PopServerTest, SilentClientsAreDroppedAtTheIdleLimitAndTheirSlotsFreed) {
    FillInbox({letters[0], letters[1]});
    std::uint16_t shortPort = 0;
    auto shortServer = StartServer({.idle = 300ms, .sessionStop = 60s}, shortPort);
    ASSERT_NE(shortPort, 0);
    const std::size_t threadsBefore = EntriesOf("/proc/self/task");
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int n = 0; n < LocalPopServer::kMaximumSessions; ++n) {
        silent.push_back(std::make_unique<RawClient>(shortPort));
        ASSERT_EQ(silent.back()->ReadLine(), "+OK Welcome to Moxel");
    }
    silent[0]->LogIn(kKey.ToString());
    silent[0]->Send("DELE 1\r\n");
    EXPECT_EQ(silent[0]->ReadLine(), "+OK");
    silent[1]->Send("USER " + kOtherKey.ToString() + "\r\n");
    EXPECT_EQ(silent[1]->ReadLine(), "+OK");
    for (std::size_t n = 0; n < silent.size(); ++n) {
        EXPECT_TRUE(silent[n]->ClosedByServer()) << "client " << n;
    }
    EXPECT_EQ(InboxTexts(), (Strings{letters[0], letters[1]})) << "no QUIT, nothing removed";
    // A slot is free once its thread has ended, just after the connection closed.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (EntriesOf("/proc/self/task") != threadsBefore) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the sessions' threads end";
        std::this_thread::sleep_for(20ms);
    }
    std::vector<std::unique_ptr<RawClient>> next;
    for (int n = 0; n < LocalPopServer::kMaximumSessions; ++n) {
        next.push_back(std::make_unique<RawClient>(shortPort));
        EXPECT_EQ(next.back()->ReadLine(), "+OK Welcome to Moxel") << "slot " << n << " freed";
    }
    next[0]->LogIn(kKey.ToString());
    next[0]->Send("STAT\r\nQUIT\r\n");
    EXPECT_EQ(next[0]->ReadLine(),
              "+OK 2 " + std::to_string(letters[0].size() + letters[1].size()));
    EXPECT_EQ(next[0]->ReadLine(), "+OK Bye");
    next.clear();
    shortServer.reset();
    const std::string sessions = SessionLog();
    std::size_t disconnected = 0;
    for (auto at = sessions.find("*** User disconnected"); at != std::string::npos;
         at = sessions.find("*** User disconnected", at + 1)) {
        ++disconnected;
    }
    EXPECT_EQ(disconnected, 2u * LocalPopServer::kMaximumSessions) << sessions.substr(0, 3000);
}

// Stop ends every session: one idle in the middle of its conversation, one blocked writing a
// long letter to a client that reads nothing. Stop returns, no thread or descriptor is left, and
// the mark made without QUIT removes nothing.
TEST_F(PopServerTest, StopEndsEverySessionEvenOneWritingToAClientThatDoesNotRead) {
    const std::string huge = "Subject: huge\n\n" + Lines(100000, std::string(79, 'z'));
    FillInbox({letters[0], huge});
    // The session log keeps its file open from its first line on: open it before counting.
    reporter->UserConnected();
    reporter->UserDisconnected();
    const std::size_t threadsBefore = EntriesOf("/proc/self/task");
    const std::size_t descriptorsBefore = DescriptorsBesidesTheDatabase();
    {
        std::uint16_t ownPort = 0;
        // A stop limit well below the default: a session that does not end is given up (and
        // then counted as a leftover thread) within seconds rather than a minute.
        auto own = StartServer({.idle = 60s, .sessionStop = 5s}, ownPort);
        ASSERT_NE(ownPort, 0);
        RawClient idle(ownPort);
        ASSERT_EQ(idle.ReadLine(), "+OK Welcome to Moxel");
        idle.LogIn(kOtherKey.ToString());
        RawClient stalled(ownPort);
        const int small = 4096;
        ::setsockopt(stalled.Socket().Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
        ASSERT_EQ(stalled.ReadLine(), "+OK Welcome to Moxel");
        stalled.LogIn(kKey.ToString());
        stalled.Send("DELE 1\r\nRETR 2\r\n");
        EXPECT_EQ(stalled.ReadLine(), "+OK");
        EXPECT_EQ(stalled.ReadLine(), "+OK") << "the letter is on its way";
        // Let the server fill the buffers and block; the client reads no further.
        std::this_thread::sleep_for(500ms);
        own->Stop();
        EXPECT_TRUE(idle.ClosedByServer());
        // The stalled client is not read to its end: megabytes through its tiny window would
        // take a minute. Its server side is gone with the descriptors counted below.
    }
    EXPECT_EQ(EntriesOf("/proc/self/task"), threadsBefore);
    EXPECT_EQ(DescriptorsBesidesTheDatabase(), descriptorsBefore);
    const Strings texts = InboxTexts();
    ASSERT_EQ(texts.size(), 2u) << "nothing removed without QUIT";
    EXPECT_EQ(texts[0], letters[0]);
}

TEST_F(PopServerTest, AStopAskedForAsTheServerStartsEndsItAndAnIdleServerStillAccepts) {
    // A stop that comes before the server thread is running must not be forgotten by it; the
    // deadline only turns a hang into a failure.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> startAndStop = done->get_future();
    // Detached, so that a lost stop fails the test instead of hanging it.
    std::thread([this, done] {
        for (int round = 0; round < 20; ++round) {
            LocalPopServer quick(*office, reporter, {}, {});
            quick.Start(0);
            quick.Stop();
        }
        done->set_value();
    }).detach();
    ASSERT_EQ(startAndStop.wait_for(30s), std::future_status::ready) << "a stop was lost";
    // The fixture's server has been waiting for notifications meanwhile: a connection still
    // reaches it.
    RawClient client(port);
    EXPECT_EQ(client.ReadLine(), "+OK Welcome to Moxel");
}

// A mail program logged in while a collection brings new mail for the same inbox: the
// session goes on undisturbed, the collection keeps what it downloaded, and once the session
// has quit the letters reach the inbox and the next login sees them. Nothing is lost.
TEST_F(PopServerTest, ACollectionDuringASessionLosesNothingAndTheNextLoginSeesItsLetters) {
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    TimeCard::PunchIn();
    moxeltest::DovecotServer dovecot;
    dovecot.Start();
    const LetterBoxKey key("tester@example.test", "tester",
                           "127.0.0.1:" + std::to_string(dovecot.Pop3Port()));
    office->GetApprovedSenders().Add("friend@example.com");
    dovecot.AddMessage(
        "tester", "From: friend@example.com\nTo: tester@example.test\nSubject: fresh\n\nNew\n");
    const auto logIn = [&](RawClient& client) {
        client.Send("USER " + key.ToString() + "\r\nPASS secret\r\nSTAT\r\n");
        EXPECT_EQ(client.ReadLine(), "+OK");
        EXPECT_EQ(client.ReadLine(), "+OK");
        return client.ReadLine();
    };
    {
        RawClient session = Greeted();
        EXPECT_EQ(logIn(session), "+OK 0 0");
        const auto during = office->CollectNowAndWait(60s);
        ASSERT_TRUE(during.has_value());
        EXPECT_EQ(dovecot.MessageCount("tester"), 0) << "downloaded: " << during->error;
        session.Send("STAT\r\nQUIT\r\n");
        EXPECT_EQ(session.ReadLine(), "+OK 0 0") << "the session's view stays as it was";
        EXPECT_EQ(session.ReadLine(), "+OK Bye");
    }
    const auto after = office->CollectNowAndWait(60s);
    ASSERT_TRUE(after.has_value());
    RawClient next = Greeted();
    const auto stat = logIn(next);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->rfind("+OK 1 ", 0), 0u) << *stat << "; " << after->error;
    next.Send("RETR 1\r\n");
    std::string text;
    for (auto line = next.ReadLine(); line && *line != "."; line = next.ReadLine()) {
        text += *line + "\n";
    }
    EXPECT_NE(text.find("Subject: fresh"), std::string::npos) << text;
    PopUninitialize();
}

TEST_F(PopServerTest, AClientOfAnotherUserIsRefusedLoggedAndGetsNoAccount) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to connect as another user";
    }
    const int accountsBefore = moxeltest::RowCount("MailDeliveryPoint");
    const std::string script = R"(
import os, socket, sys
os.setgid(65534); os.setuid(65534)
s = socket.create_connection(('127.0.0.1', int(sys.argv[1])), timeout=20)
s.sendall(b'USER a@b.example/a/b.example\r\nPASS x\r\n')
data = b''
while True:
    chunk = s.recv(4096)
    if not chunk: break
    data += chunk
sys.stdout.write(data.decode())
)";
    const auto result =
        moxeltest::RunToEnd("/usr/bin/python3", {"-c", script, std::to_string(port)}, {}, {}, 30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("-ERR", 0), 0u) << result.out;
    EXPECT_EQ(result.out.find("+OK"), std::string::npos) << result.out;
    EXPECT_EQ(moxeltest::RowCount("MailDeliveryPoint"), accountsBefore);
    const Strings lines = Log();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("refused a connection from 127.0.0.1"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("user 65534"), std::string::npos) << lines[0];
}

}  // namespace
