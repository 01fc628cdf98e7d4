#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <future>
#include <set>
#include <thread>

#include "core/EventReporter.h"
#include "core/SessionEventLogger.h"
#include "platform/ThreadId.h"
#include "support/FixedClock.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using boost::posix_time::time_from_string;
using moxeltest::ReadLogMessages;

namespace {

class SessionEventLoggerTest : public ::testing::Test {
protected:
    std::vector<std::string> Messages() const {
        const auto file = logs / "Session_2005_11_23.txt";
        return fs::exists(file) ? ReadLogMessages(file) : std::vector<std::string>{};
    }

    std::shared_ptr<moxeltest::FixedClock> clock =
        std::make_shared<moxeltest::FixedClock>(time_from_string("2005-11-23 08:00:00"));
    moxeltest::TempDir folder;
    fs::path logs = folder.Path() / "Logs";
    SessionEventLogger logger{logs, clock};
};

TEST_F(SessionEventLoggerTest, RequestLinesAreTrimmedAndPasswordsMasked) {
    const struct {
        const char* request;
        const char* logged;
    } cases[] = {
        {"USER me@example.com/me/pop.example.com\r\n", "USER me@example.com/me/pop.example.com"},
        {" \t STAT \r\n", "STAT"},
        {"PASS secret\r\n", "PASS *********"},
        {"pass secret\r\n", "pass *********"},
        {"PaSs a b c", "PaSs *********"},
        {"PASS x", "PASS *********"},
        {"PASS \t", "PASS"},
        {"PASS", "PASS"},
        {"PASS\r\n", "PASS"},
        // The server takes a tab between command and argument too.
        {"PASS\tsecret\r\n", "PASS\t*********"},
        {"PASSWORD secret", "PASSWORD secret"},
        {"XPASS secret", "XPASS secret"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(SessionEventLogger::MaskRequest(c.request), c.logged);
    }

    logger.RequestReceived(77, "pass Tr0ub4dor&3\r\n");
    EXPECT_EQ(Messages(), std::vector<std::string>{"[77]\t> pass *********"});
}

TEST_F(SessionEventLoggerTest, EachEventWritesItsLineTaggedWithTheSessionThread) {
    const ThreadId session = 31337;
    logger.UserConnected(session);
    logger.RequestReceived(session, "RETR 1\r\n");
    logger.ResponseSent(session, "+OK ");
    logger.ResponseDataSent(session, "Subject: Grüße\n\nbody\n");  // bytes, not characters
    logger.ResponseDataSent(session, "");
    logger.ResponseSent(session, ".");
    // Events of the application log are not recorded here.
    logger.ErrorOccurred(session, "failure");
    logger.MailProgramLoggedIn(session, LetterBoxKey("a@b", "u", "h"));
    logger.ApplicationStarted(session);
    logger.UserDisconnected(session);

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "[31337]\t*** User connected",
                              "[31337]\t> RETR 1",
                              "[31337]\t< +OK ",
                              "[31337]\t< ... 23 bytes (not displayed) ...",
                              "[31337]\t< ... 0 bytes (not displayed) ...",
                              "[31337]\t< .",
                              "[31337]\t*** User disconnected",
                          }));
}

TEST_F(SessionEventLoggerTest, FollowsConnectedSessionsOnly) {
    EXPECT_TRUE(logger.GetThreadFilter(1).empty());
    logger.UserConnected(10);
    logger.UserConnected(20);
    EXPECT_EQ(logger.GetThreadFilter(1), (std::vector<ThreadId>{10, 20}));
    logger.UserDisconnected(10);
    EXPECT_EQ(logger.GetThreadFilter(1), (std::vector<ThreadId>{20}));
    logger.UserDisconnected(99);  // never connected: nothing to remove
    logger.UserDisconnected(20);
    EXPECT_TRUE(logger.GetThreadFilter(1).empty());
}

TEST_F(SessionEventLoggerTest, ConcurrentSessionsAreAllLoggedAndOtherThreadsIgnoredMeanwhile) {
    EventReporter reporter;
    reporter.AddHandler(&logger);
    constexpr int kSessions = 3;
    constexpr int kRequests = 50;

    std::promise<void> allConnected;
    std::shared_future<void> go = allConnected.get_future().share();
    std::atomic<int> connected{0};
    std::vector<std::promise<ThreadId>> ids(kSessions);
    std::vector<std::thread> sessions;
    for (int s = 0; s < kSessions; ++s) {
        sessions.emplace_back([&, s] {
            ids[s].set_value(platform::CurrentThreadId());
            reporter.UserConnected();
            ++connected;
            go.wait();
            for (int i = 0; i < kRequests; ++i) {
                reporter.RequestReceived("NOOP\r\n");
                reporter.ResponseSent("+OK");
            }
            reporter.UserDisconnected();
        });
    }
    std::set<std::string> tags;
    for (auto& id : ids) {
        tags.insert("[" + std::to_string(id.get_future().get()) + "]");
    }
    while (connected.load() < kSessions) {
        std::this_thread::yield();
    }
    // Not a session thread: filtered out while sessions are connected.
    reporter.ResponseSent("from elsewhere");
    allConnected.set_value();
    for (auto& session : sessions) {
        session.join();
    }
    reporter.RemoveHandler(&logger);

    std::map<std::string, std::vector<std::string>> bySession;
    for (const auto& message : Messages()) {
        const auto tab = message.find('\t');
        ASSERT_NE(tab, std::string::npos) << message;
        bySession[message.substr(0, tab)].push_back(message.substr(tab + 1));
    }
    ASSERT_EQ(bySession.size(), static_cast<std::size_t>(kSessions));
    for (const auto& [tag, lines] : bySession) {
        SCOPED_TRACE(tag);
        EXPECT_TRUE(tags.count(tag));
        std::vector<std::string> expected = {"*** User connected"};
        for (int i = 0; i < kRequests; ++i) {
            expected.push_back("> NOOP");
            expected.push_back("< +OK");
        }
        expected.push_back("*** User disconnected");
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(SessionEventLoggerTest, WithNoSessionConnectedEveryThreadIsLogged) {
    EventReporter reporter;
    reporter.AddHandler(&logger);
    reporter.ResponseSent("-ERR stray");
    reporter.RemoveHandler(&logger);
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"[" + std::to_string(platform::CurrentThreadId()) +
                                       "]\t< -ERR stray"});
}

}  // namespace
