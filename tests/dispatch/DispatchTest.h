#pragma once

#include <gtest/gtest.h>
#include <popwire.h>
#include <smtpwire.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/EventReporter.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/TimeCard.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "peers/ScriptJoin.h"
#include "peers/ScriptedSmtpServer.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "support/DatabaseFixture.h"
#include "support/FixedClock.h"

namespace dispatchtest {

using moxeltest::ScriptedSmtpServer;
using Step = ScriptedSmtpServer;
using Script = std::vector<ScriptedSmtpServer::Step>;
using Strings = std::vector<std::string>;
namespace pt = boost::posix_time;

inline const std::string kMe = "me@home.example";
inline const std::string kFriend = "friend@example.com";

template <typename... Pieces>
Script Join(const Pieces&... pieces) {
    return moxeltest::JoinScript<Script::value_type>(pieces...);
}
inline Script Greeting() {
    return {Step::Send("220 test.invalid ESMTP\r\n")};
}
inline Script Ehlo(const std::string& extension = "") {
    return Step::Answer(extension.empty() ? "250 test.invalid\r\n"
                                          : "250-test.invalid\r\n250 " + extension + "\r\n");
}
inline Script Ok() {
    return Step::Answer("250 2.0.0 OK\r\n");
}
// The server's side of one letter that goes through: MAIL, RCPT, DATA, content.
inline Script Accepted() {
    return Join(Ok(), Ok(), Step::Answer("354 go\r\n"),
                Script{Step::ExpectData(), Step::Send("250 queued\r\n")});
}
// RSET, then a letter that goes through: after a refusal once the transaction was open.
inline Script SecondAfterRefusal() {
    return Join(Ok(), Accepted());
}
inline Script Quit() {
    return Step::Answer("221 bye\r\n");
}

// Records the dispatch events as short texts: "SendingMail", "SendingMessage <subject>",
// "MessageSent <subject>", "MessageNotSent <subject>[ giveUp]", "MessagesSent <n>"; the error
// texts of MessageNotSent separately. Any thread.
class DispatchRecorder : public MoxelCoreEventHandler {
public:
    void SendingMail(const ThreadId&, const std::string& host) override {
        Record("SendingMail");
        std::lock_guard lock(mutex);
        hosts.push_back(host);
    }
    void MessagesSent(const ThreadId&, int count) override {
        Record("MessagesSent " + std::to_string(count));
    }
    void SendingMessage(const ThreadId&, const LetterPtr& letter) override {
        Record("SendingMessage " + letter->GetSubject());
    }
    void MessageSent(const ThreadId&, const LetterPtr& letter) override {
        Record("MessageSent " + letter->GetSubject());
    }
    void MessageNotSent(const ThreadId&, const LetterPtr& letter, const std::string& error,
                        bool giveUp) override {
        Record("MessageNotSent " + letter->GetSubject() + (giveUp ? " giveUp" : ""));
        std::lock_guard lock(mutex);
        errors.push_back(error);
    }

    Strings Events() const {
        std::lock_guard lock(mutex);
        return events;
    }
    Strings Errors() const {
        std::lock_guard lock(mutex);
        return errors;
    }
    Strings Hosts() const {
        std::lock_guard lock(mutex);
        return hosts;
    }
    void Clear() {
        std::lock_guard lock(mutex);
        events.clear();
        errors.clear();
        hosts.clear();
    }

private:
    void Record(const std::string& event) {
        std::lock_guard lock(mutex);
        events.push_back(event);
    }
    mutable std::mutex mutex;
    Strings events;  // guarded by mutex
    Strings errors;  // guarded by mutex
    Strings hosts;   // guarded by mutex
};

// A kept dispatch point, an empty kept collection of protected accounts, a fixed clock, a
// reporter with a recorder, and both wire libraries initialised.
class DispatchTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_NE(PopInitializeA(nullptr, nullptr), 0);
        ASSERT_NE(SmtpInitializeA(nullptr, nullptr), 0);
        TimeCard::PunchIn();
        point = std::make_unique<TarnwellSmtpDispatchPoint>();
        point->GetData().SetPersistent(true);
        point->SetTimeoutInSeconds(2);
        accounts = std::make_unique<DatabaseLayer::MailDeliveryPointsData>();
        accounts->SetPersistent(true);
        reporter.AddHandler(&recorder);
    }
    void TearDown() override {
        reporter.RemoveHandler(&recorder);
        accounts.reset();
        point.reset();
        TimeCard::PunchIn();
        SmtpUninitialize();
        PopUninitialize();
        DatabaseTest::TearDown();
    }

    void UseServer(std::uint16_t port) {
        point->SetSmtpServerAddress(Format("127.0.0.1:%1%", port));
    }
    // Puts a composed letter into the box; returns its id.
    std::int64_t AddLetter(const std::string& subject, const std::string& recipient = kFriend,
                           int count = 0, pt::ptime firstFailure = pt::not_a_date_time,
                           const std::string& body = "Text") {
        LetterBoxLock lock(point->GetLetterBox());
        auto letter = std::make_shared<Letter>(kMe, recipient, subject, body, "<>");
        if (count > 0) {
            letter->SetDispatchCount(count);
        }
        if (!firstFailure.is_not_a_date_time()) {
            letter->SetFirstDispatchTime(firstFailure);
        }
        point->GetLetterBox().MoveLetterHere(letter);
        return letter->GetId();
    }
    // "<subject> <count>" for each letter in the box, sorted.
    Strings BoxState() {
        LetterBoxLock lock(point->GetLetterBox());
        Strings state;
        for (const auto id : point->GetLetterBox().GetLetterIds()) {
            const auto letter = point->GetLetterBox().GetLetter(id);
            state.push_back(letter->GetSubject() + " " +
                            std::to_string(letter->GetDispatchCount()));
        }
        std::sort(state.begin(), state.end());
        return state;
    }
    // Runs the dispatch; the text of the Exception that ended it, or "" when none did.
    std::string Dispatch() {
        try {
            point->DispatchLetters(clock, *accounts, reporter);
        } catch (const Exception& error) {
            return error.what();
        }
        return "";
    }

    const pt::ptime kStart = pt::time_from_string("2026-03-11 10:00:00");
    moxeltest::FixedClock clock{kStart};
    EventReporter reporter;
    DispatchRecorder recorder;
    std::unique_ptr<TarnwellSmtpDispatchPoint> point;
    std::unique_ptr<DatabaseLayer::MailDeliveryPointsData> accounts;
};

}  // namespace dispatchtest
