#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/EventReporter.h"
#include "platform/ThreadId.h"

using namespace std::chrono_literals;

namespace {

std::string Tid(ThreadId thread) {
    return std::to_string(thread);
}

std::string Address(const void* pointer) {
    std::ostringstream text;
    text << pointer;
    return text.str();
}

// Writes down every event it receives as "Name@thread(arguments)". Thread-safe.
class RecordingHandler : public MoxelCoreEventHandler {
public:
    std::vector<ThreadId> filter;
    std::function<void()> onEvent;

    std::vector<std::string> Records() const {
        std::lock_guard lock(mutex);
        return records;
    }

    std::vector<ThreadId> GetThreadFilter(const ThreadId&) override { return filter; }
    void UserConnected(const ThreadId& t) override { Record("UserConnected", t, ""); }
    void UserDisconnected(const ThreadId& t) override { Record("UserDisconnected", t, ""); }
    void RequestReceived(const ThreadId& t, const std::string& r) override {
        Record("RequestReceived", t, r);
    }
    void ResponseSent(const ThreadId& t, const std::string& r) override {
        Record("ResponseSent", t, r);
    }
    void ResponseDataSent(const ThreadId& t, const std::string& d) override {
        Record("ResponseDataSent", t, d);
    }
    void MailProgramLoggedIn(const ThreadId& t, const LetterBoxKey& k) override {
        Record("MailProgramLoggedIn", t, k.ToString());
    }
    void MailProgramLoggedOut(const ThreadId& t, const LetterBoxKey& k) override {
        Record("MailProgramLoggedOut", t, k.ToString());
    }
    void CollectingStarted(const ThreadId& t) override { Record("CollectingStarted", t, ""); }
    void CollectingFinished(const ThreadId& t) override { Record("CollectingFinished", t, ""); }
    void ErrorOccurred(const ThreadId& t, const std::string& e) override {
        Record("ErrorOccurred", t, e);
    }
    void CollectingFailed(const ThreadId& t, const std::string& e) override {
        Record("CollectingFailed", t, e);
    }
    void ApplicationStarted(const ThreadId& t) override { Record("ApplicationStarted", t, ""); }
    void ApplicationExited(const ThreadId& t) override { Record("ApplicationExited", t, ""); }
    void CheckingMail(const ThreadId& t, const LetterBoxKey& k) override {
        Record("CheckingMail", t, k.ToString());
    }
    void LettersRetrieved(const ThreadId& t, const LetterBoxPtr& box) override {
        Record("LettersRetrieved", t, Address(box.get()));
    }
    void CreatingVerificationRequest(const ThreadId& t, const std::string& point,
                                     const std::string& sender) override {
        Record("CreatingVerificationRequest", t, point + "," + sender);
    }
    void SendingMail(const ThreadId& t, const std::string& host) override {
        Record("SendingMail", t, host);
    }
    void MessagesSent(const ThreadId& t, int count) override {
        Record("MessagesSent", t, std::to_string(count));
    }
    void SendingMessage(const ThreadId& t, const LetterPtr& letter) override {
        Record("SendingMessage", t, Address(letter.get()));
    }
    void MessageSent(const ThreadId& t, const LetterPtr& letter) override {
        Record("MessageSent", t, Address(letter.get()));
    }
    void MessageNotSent(const ThreadId& t, const LetterPtr& letter, const std::string& error,
                        bool giveUp) override {
        Record("MessageNotSent", t,
               Address(letter.get()) + "," + error + "," + (giveUp ? "give up" : "retry"));
    }
    void ApprovedLettersAdded(const ThreadId& t, int count) override {
        Record("ApprovedLettersAdded", t, std::to_string(count));
    }
    void SenderApproved(const ThreadId& t, const std::string& sender) override {
        Record("SenderApproved", t, sender);
    }
    void ProcessingIncomingMail(const ThreadId& t) override {
        Record("ProcessingIncomingMail", t, "");
    }
    void ProcessingFinished(const ThreadId& t) override { Record("ProcessingFinished", t, ""); }

private:
    void Record(const std::string& name, ThreadId thread, const std::string& arguments) {
        {
            std::lock_guard lock(mutex);
            records.push_back(name + "@" + Tid(thread) + "(" + arguments + ")");
        }
        if (onEvent) {
            onEvent();
        }
    }

    mutable std::mutex mutex;
    std::vector<std::string> records;
};

// Pointers that are only compared, never followed: letters cannot be made here.
template <typename T>
std::shared_ptr<T> Token(const std::shared_ptr<int>& owner, int offset) {
    return std::shared_ptr<T>(owner, reinterpret_cast<T*>(owner.get() + offset));
}

TEST(EventReporterTest, EveryEventReachesItsOperationWithItsArgumentsAndTheRaisingThread) {
    const auto owner = std::make_shared<int>(0);
    const auto box = Token<LetterBox>(owner, 0);
    const auto letter = Token<Letter>(owner, 1);
    const LetterBoxKey key("me@example.com", "me", "pop.example.com");
    const std::string me = Tid(platform::CurrentThreadId());
    const std::string letterText = Address(letter.get());

    const struct {
        std::function<void(EventReporter&)> raise;
        std::string expected;
    } cases[] = {
        {[](auto& r) { r.UserConnected(); }, "UserConnected@" + me + "()"},
        {[](auto& r) { r.UserDisconnected(); }, "UserDisconnected@" + me + "()"},
        {[](auto& r) { r.RequestReceived("USER x"); }, "RequestReceived@" + me + "(USER x)"},
        {[](auto& r) { r.ResponseSent("+OK"); }, "ResponseSent@" + me + "(+OK)"},
        {[](auto& r) { r.ResponseDataSent("body"); }, "ResponseDataSent@" + me + "(body)"},
        {[&](auto& r) { r.MailProgramLoggedIn(key); },
         "MailProgramLoggedIn@" + me + "(me@example.com/me/pop.example.com)"},
        {[&](auto& r) { r.MailProgramLoggedOut(key); },
         "MailProgramLoggedOut@" + me + "(me@example.com/me/pop.example.com)"},
        {[](auto& r) { r.CollectingStarted(); }, "CollectingStarted@" + me + "()"},
        {[](auto& r) { r.CollectingFinished(); }, "CollectingFinished@" + me + "()"},
        {[](auto& r) { r.ErrorOccurred("bad"); }, "ErrorOccurred@" + me + "(bad)"},
        {[](auto& r) { r.CollectingFailed("worse"); }, "CollectingFailed@" + me + "(worse)"},
        {[](auto& r) { r.ApplicationStarted(); }, "ApplicationStarted@" + me + "()"},
        {[](auto& r) { r.ApplicationExited(); }, "ApplicationExited@" + me + "()"},
        {[&](auto& r) { r.CheckingMail(key); },
         "CheckingMail@" + me + "(me@example.com/me/pop.example.com)"},
        {[&](auto& r) { r.LettersRetrieved(box); },
         "LettersRetrieved@" + me + "(" + Address(box.get()) + ")"},
        {[](auto& r) { r.CreatingVerificationRequest("me@example.com", "you@example.org"); },
         "CreatingVerificationRequest@" + me + "(me@example.com,you@example.org)"},
        {[](auto& r) { r.SendingMail("smtp.example.com"); },
         "SendingMail@" + me + "(smtp.example.com)"},
        {[](auto& r) { r.MessagesSent(-3); }, "MessagesSent@" + me + "(-3)"},
        {[&](auto& r) { r.SendingMessage(letter); },
         "SendingMessage@" + me + "(" + letterText + ")"},
        {[&](auto& r) { r.MessageSent(letter); }, "MessageSent@" + me + "(" + letterText + ")"},
        {[&](auto& r) { r.MessageNotSent(letter, "refused", true); },
         "MessageNotSent@" + me + "(" + letterText + ",refused,give up)"},
        {[&](auto& r) { r.MessageNotSent(letter, "busy", false); },
         "MessageNotSent@" + me + "(" + letterText + ",busy,retry)"},
        {[](auto& r) { r.ApprovedLettersAdded(7); }, "ApprovedLettersAdded@" + me + "(7)"},
        {[](auto& r) { r.SenderApproved("you@example.org"); },
         "SenderApproved@" + me + "(you@example.org)"},
        {[](auto& r) { r.ProcessingIncomingMail(); }, "ProcessingIncomingMail@" + me + "()"},
        {[](auto& r) { r.ProcessingFinished(); }, "ProcessingFinished@" + me + "()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EventReporter reporter;
        RecordingHandler handler;
        reporter.AddHandler(&handler);
        c.raise(reporter);
        EXPECT_EQ(handler.Records(), std::vector<std::string>{c.expected});
    }
}

TEST(EventReporterTest, HandlersAreCalledInOrderOnceEachAndRemovedByIdentity) {
    EventReporter reporter;
    std::vector<std::string> order;
    RecordingHandler first;
    RecordingHandler second;
    first.onEvent = [&] { order.push_back("first"); };
    second.onEvent = [&] { order.push_back("second"); };

    reporter.AddHandler(&second);
    reporter.AddHandler(&first);
    reporter.AddHandler(&second);  // already registered: no second entry
    reporter.CollectingStarted();
    EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));

    RecordingHandler stranger;
    reporter.RemoveHandler(&stranger);  // absent: nothing happens
    reporter.RemoveHandler(&second);
    order.clear();
    reporter.CollectingFinished();
    EXPECT_EQ(order, std::vector<std::string>{"first"});
    EXPECT_EQ(second.Records().size(), 1u);
}

TEST(EventReporterTest, ThreadFiltersDecideWhoTakesAnEventAndUserConnectedIgnoresThem) {
    EventReporter reporter;
    const ThreadId me = platform::CurrentThreadId();
    RecordingHandler everyThread;  // empty filter
    RecordingHandler thisThread;   // follows this thread
    RecordingHandler otherThread;  // follows some other thread only
    thisThread.filter = {me + 1, me};
    otherThread.filter = {me + 1};
    reporter.AddHandler(&everyThread);
    reporter.AddHandler(&thisThread);
    reporter.AddHandler(&otherThread);

    reporter.SenderApproved("a@b");
    reporter.UserConnected();

    const std::string tag = "@" + Tid(me);
    EXPECT_EQ(everyThread.Records(), (std::vector<std::string>{"SenderApproved" + tag + "(a@b)",
                                                               "UserConnected" + tag + "()"}));
    EXPECT_EQ(thisThread.Records(), everyThread.Records());
    EXPECT_EQ(otherThread.Records(), std::vector<std::string>{"UserConnected" + tag + "()"});
}

TEST(EventReporterTest, EventsRaisedOnAnotherThreadCarryThatThreadsId) {
    EventReporter reporter;
    RecordingHandler handler;
    reporter.AddHandler(&handler);
    ThreadId worker = 0;
    std::thread([&] {
        worker = platform::CurrentThreadId();
        reporter.CollectingStarted();
    }).join();
    ASSERT_NE(worker, platform::CurrentThreadId());
    EXPECT_EQ(handler.Records(),
              std::vector<std::string>{"CollectingStarted@" + Tid(worker) + "()"});
}

TEST(EventReporterTest, HandlersAddedOrRemovedDuringDeliveryDoNotDisturbIt) {
    EventReporter reporter;
    RecordingHandler changer;
    RecordingHandler removed;
    RecordingHandler added;
    RecordingHandler last;
    changer.onEvent = [&] {
        reporter.AddHandler(&added);
        reporter.RemoveHandler(&removed);
        reporter.RemoveHandler(&changer);  // itself, from inside its own call
    };
    reporter.AddHandler(&changer);
    reporter.AddHandler(&removed);
    reporter.AddHandler(&last);

    reporter.ProcessingIncomingMail();
    EXPECT_EQ(changer.Records().size(), 1u);
    EXPECT_TRUE(removed.Records().empty()) << "a removed handler is not called any more";
    EXPECT_TRUE(added.Records().empty()) << "a new handler waits for the next event";
    EXPECT_EQ(last.Records().size(), 1u);

    reporter.ProcessingFinished();
    EXPECT_EQ(changer.Records().size(), 1u);
    EXPECT_EQ(added.Records().size(), 1u);
    EXPECT_EQ(last.Records().size(), 2u);
}

TEST(EventReporterTest, RemoveHandlerWaitsForTheHandlersRunningCallOnAnotherThread) {
    EventReporter reporter;
    RecordingHandler slow;
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    slow.onEvent = [&] {
        entered.set_value();
        released.wait();
    };
    reporter.AddHandler(&slow);

    std::thread raiser([&] { reporter.CollectingStarted(); });
    entered.get_future().wait();
    auto removal = std::async(std::launch::async, [&] { reporter.RemoveHandler(&slow); });
    EXPECT_EQ(removal.wait_for(200ms), std::future_status::timeout)
        << "RemoveHandler returned while the handler was still running";
    release.set_value();
    removal.get();
    raiser.join();
    EXPECT_EQ(slow.Records().size(), 1u);
}

TEST(EventReporterTest, AHandlerThatThrowsPassesTheErrorOnAndCanStillBeRemoved) {
    EventReporter reporter;
    RecordingHandler failing;
    failing.onEvent = [] { throw std::runtime_error("handler failed"); };
    reporter.AddHandler(&failing);
    EXPECT_THROW(reporter.MessagesSent(1), std::runtime_error);
    // The failed call must not count as still running, or this would wait for ever.
    std::async(std::launch::async, [&] { reporter.RemoveHandler(&failing); }).get();
    reporter.MessagesSent(2);
    EXPECT_EQ(failing.Records().size(), 1u);
}

TEST(EventReporterTest, HandlersComeAndGoWhileOtherThreadsBroadcast) {
    EventReporter reporter;
    RecordingHandler permanent;
    reporter.AddHandler(&permanent);
    std::atomic<bool> stop{false};
    std::atomic<int> raised{0};
    std::vector<std::thread> raisers;
    for (int i = 0; i < 3; ++i) {
        raisers.emplace_back([&] {
            while (!stop.load()) {
                reporter.RequestReceived("NOOP");
                raised.fetch_add(1);
            }
        });
    }
    // Each short-lived handler is destroyed right after its removal; a call still running on
    // a raising thread would then touch freed memory (which the sanitizer build reports).
    for (int round = 0; round < 500; ++round) {
        auto passing = std::make_unique<RecordingHandler>();
        reporter.AddHandler(passing.get());
        std::this_thread::yield();
        reporter.RemoveHandler(passing.get());
    }
    stop.store(true);
    for (auto& raiser : raisers) {
        raiser.join();
    }
    EXPECT_EQ(permanent.Records().size(), static_cast<std::size_t>(raised.load()));
}

}  // namespace
