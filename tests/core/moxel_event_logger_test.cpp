#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <functional>
#include <future>
#include <thread>

#include "core/EventReporter.h"
#include "core/MoxelEventLogger.h"
#include "platform/ThreadId.h"
#include "support/FixedClock.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using boost::posix_time::time_from_string;
using moxeltest::ReadLogMessages;

namespace {

class MoxelEventLoggerTest : public ::testing::Test {
protected:
    std::vector<std::string> Messages() const {
        const auto file = logs / "Moxel_2005_03_7.txt";
        return fs::exists(file) ? ReadLogMessages(file) : std::vector<std::string>{};
    }

    std::shared_ptr<moxeltest::FixedClock> clock =
        std::make_shared<moxeltest::FixedClock>(time_from_string("2005-03-07 10:00:00"));
    moxeltest::TempDir folder;
    fs::path logs = folder.Path() / "Logs";
    MoxelEventLogger logger{logs, clock};
    const ThreadId thread = 4242;
};

TEST_F(MoxelEventLoggerTest, EachEventWritesItsLineOnceTheCollectionThreadHasStarted) {
    const LetterBoxKey key("me@example.com", "me.pop", "pop.example.com");
    const struct {
        const char* label;
        std::function<void(MoxelEventLogger&, ThreadId)> raise;
        std::vector<std::string> expected;
    } cases[] = {
        {"ErrorOccurred",
         [](auto& l, auto t) { l.ErrorOccurred(t, "Connection refused"); },
         {"Oops! An error occurred (\"Connection refused\")."}},
        {"CollectingFailed",
         [](auto& l, auto t) { l.CollectingFailed(t, "-ERR bad password"); },
         {"Oops! An error occurred (\"-ERR bad password\")."}},
        {"CheckingMail",
         [&](auto& l, auto t) { l.CheckingMail(t, key); },
         {"Checking for new mail (host name: pop.example.com user name: me.pop)."}},
        {"CreatingVerificationRequest",
         [](auto& l, auto t) { l.CreatingVerificationRequest(t, "me@example.com", "x@spam.org"); },
         {"Creating a verification message for x@spam.org (it's not an approved sender)."}},
        {"SendingMail",
         [](auto& l, auto t) { l.SendingMail(t, "smtp.example.com"); },
         {"Sending mail (SMTP host name: smtp.example.com)."}},
        {"MessagesSent 0", [](auto& l, auto t) { l.MessagesSent(t, 0); }, {"0 message(s) sent."}},
        {"MessagesSent 3", [](auto& l, auto t) { l.MessagesSent(t, 3); }, {"3 message(s) sent."}},
        {"MessageSent", [](auto& l, auto t) { l.MessageSent(t, nullptr); }, {"Ok, message sent."}},
        {"MessageNotSent give up",
         [](auto& l, auto t) { l.MessageNotSent(t, nullptr, "550 no such user", true); },
         {"Oops! Failed to send the message (\"550 no such user\"). Giving up!"}},
        {"MessageNotSent retry",
         [](auto& l, auto t) { l.MessageNotSent(t, nullptr, "timed out", false); },
         {"Warning! Not able to send the message at this time (\"timed out\"). Will send again "
          "later."}},
        {"ApprovedLettersAdded 0", [](auto& l, auto t) { l.ApprovedLettersAdded(t, 0); }, {}},
        {"ApprovedLettersAdded -1", [](auto& l, auto t) { l.ApprovedLettersAdded(t, -1); }, {}},
        {"ApprovedLettersAdded 2",
         [](auto& l, auto t) { l.ApprovedLettersAdded(t, 2); },
         {"2 approved message(s) added to inbox."}},
        {"SenderApproved",
         [](auto& l, auto t) { l.SenderApproved(t, "friend@example.org"); },
         {"Adding friend@example.org to approved senders list."}},
        {"ProcessingIncomingMail",
         [](auto& l, auto t) { l.ProcessingIncomingMail(t); },
         {"Processing incoming mail."}},
        // Events this log does not record.
        {"ProcessingFinished", [](auto& l, auto t) { l.ProcessingFinished(t); }, {}},
        {"CollectingStarted", [](auto& l, auto t) { l.CollectingStarted(t); }, {}},
        {"CollectingFinished", [](auto& l, auto t) { l.CollectingFinished(t); }, {}},
        {"UserConnected", [](auto& l, auto t) { l.UserConnected(t); }, {}},
        {"RequestReceived", [](auto& l, auto t) { l.RequestReceived(t, "USER a"); }, {}},
        {"ResponseSent", [](auto& l, auto t) { l.ResponseSent(t, "+OK"); }, {}},
        {"MailProgramLoggedIn", [&](auto& l, auto t) { l.MailProgramLoggedIn(t, key); }, {}},
    };
    logger.ApplicationStarted(thread);
    const auto before = Messages().size();
    ASSERT_EQ(before, 1u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto start = Messages().size();
        c.raise(logger, thread);
        const auto all = Messages();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(start), all.end()),
                  c.expected);
    }
}

TEST_F(MoxelEventLoggerTest, NothingIsWrittenBeforeApplicationStartedOrAfterApplicationExited) {
    logger.ProcessingIncomingMail(thread);
    logger.SenderApproved(thread, "early@example.org");
    logger.MessagesSent(thread, 0);
    EXPECT_TRUE(fs::is_empty(logs)) << "no line, so no file";

    logger.ApplicationStarted(thread);
    logger.ProcessingIncomingMail(thread);
    logger.ApplicationExited(thread);
    logger.ProcessingIncomingMail(thread);
    logger.ErrorOccurred(thread, "late");

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "*** Application started (version: 1.0.185 ).",
                              "Processing incoming mail.",
                              "*** Application exited.",
                          }));
}

TEST_F(MoxelEventLoggerTest, FollowsOnlyTheCollectionThreadFromStartToExit) {
    EventReporter reporter;
    reporter.AddHandler(&logger);
    EXPECT_TRUE(logger.GetThreadFilter(thread).empty());

    std::promise<ThreadId> started;
    std::promise<void> otherThreadDone;
    std::thread collector([&] {
        reporter.ApplicationStarted();
        started.set_value(platform::CurrentThreadId());
        otherThreadDone.get_future().wait();
        reporter.ProcessingIncomingMail();
        reporter.ApplicationExited();
    });
    const ThreadId collectorId = started.get_future().get();
    EXPECT_EQ(logger.GetThreadFilter(thread), std::vector<ThreadId>{collectorId});
    // Another thread's events are not this log's business while the collection thread runs.
    reporter.ErrorOccurred("raised on the user interface thread");
    otherThreadDone.set_value();
    collector.join();

    EXPECT_TRUE(logger.GetThreadFilter(thread).empty());
    reporter.ErrorOccurred("after the collection thread ended");
    reporter.RemoveHandler(&logger);

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "*** Application started (version: 1.0.185 ).",
                              "Processing incoming mail.",
                              "*** Application exited.",
                          }));
}

}  // namespace
