#include "support/TrustedSenderListFixture.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <ostream>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterBoxLock.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"
#include "support/ErrorOf.h"

namespace moxeltest {

using namespace DatabaseLayer;

const boost::posix_time::ptime TrustedSenderListTest::kStart =
    boost::posix_time::time_from_string("2005-03-11 13:36:46");
const std::string TrustedSenderListTest::kAccount = "me@home.example";

void VerificationEventRecorder::CreatingVerificationRequest(const ThreadId& /*thread*/,
                                                            const std::string& deliveryPointAddress,
                                                            const std::string& senderAddress) {
    events.push_back({"CreatingVerificationRequest", deliveryPointAddress + " " + senderAddress});
}

void VerificationEventRecorder::SenderApproved(const ThreadId& /*thread*/,
                                               const std::string& sender) {
    events.push_back({"SenderApproved", sender});
}

std::ostream& operator<<(std::ostream& out, const VerificationEventRecorder::Event& event) {
    return out << event.name << "(" << event.arguments << ")";
}

void TrustedSenderListTest::SetUp() {
    DatabaseTest::SetUp();
    reporter.AddHandler(&recorder);
    list = std::make_unique<TrustedSenderList>();
    list->SetPersistent(true);
    recent = std::make_unique<LetterBox>();
    recent->SetPersistent(true);
    outgoing = std::make_unique<LetterBox>();
    outgoing->SetPersistent(true);
}

void TrustedSenderListTest::TearDown() {
    reporter.RemoveHandler(&recorder);
    outgoing.reset();
    recent.reset();
    list.reset();
    DatabaseTest::TearDown();
}

std::unique_ptr<Letter> TrustedSenderListTest::MakeLetter(const std::string& sender,
                                                          const std::string& subject) {
    auto letter = std::make_unique<Letter>();
    letter->SetSender(sender);
    letter->SetSubject(subject);
    return letter;
}

void TrustedSenderListTest::Queue(const std::string& sender, const std::string& subject,
                                  const std::string& account) {
    list->QueueVerificationRequest(*MakeLetter(sender, subject), account, clock, reporter);
}

void TrustedSenderListTest::Dispatch() {
    list->DispatchVerificationRequests(clock, *outgoing);
}

std::int64_t TrustedSenderListTest::Collect(const std::string& text) {
    LetterBoxLock lock(*recent);
    Letter letter;
    letter.StoreText(text);
    recent->MoveLetterHere(letter);
    return letter.GetId();
}

void TrustedSenderListTest::Reply(const std::string& sender, const std::string& subject) {
    Collect("From: " + sender + "\nTo: " + kAccount + "\nSubject: " + subject + "\n\nYes, me.");
    ProcessReplies();
}

void TrustedSenderListTest::ProcessReplies() {
    list->ProcessVerificationReplies(*recent, reporter);
}

std::vector<QueuedRequest> TrustedSenderListTest::QueuedRequests() {
    std::vector<QueuedRequest> requests;
    for (auto row = ExecuteQuery("SELECT * FROM VerificationRequest ORDER BY id;"); !row.AtEnd();
         row.NextRow()) {
        requests.push_back(
            {row.GetStringField("recipientAddress"), row.GetStringField("letterBoxAddress"),
             row.GetStringField("verificationCode"), row.GetStringField("originalSubject")});
    }
    return requests;
}

std::string TrustedSenderListTest::PendingCode(const std::string& address) {
    auto row = ExecuteQuery(
        Format("SELECT verificationCode FROM AddressPendingVerification WHERE address = '%1%';",
               QuoteText(address)));
    return row.AtEnd() ? std::string() : row.GetStringField("verificationCode");
}

std::string TrustedSenderListTest::PendingTimeText(const std::string& address) {
    auto row = ExecuteQuery(
        Format("SELECT lastVerificationTime FROM AddressPendingVerification WHERE address = '%1%';",
               QuoteText(address)));
    return row.AtEnd() ? std::string() : row.GetStringField("lastVerificationTime");
}

int TrustedSenderListTest::PendingCount() {
    return ExecuteScalar("SELECT COUNT(*) FROM AddressPendingVerification;");
}

std::vector<LetterPtr> TrustedSenderListTest::LettersOf(LetterBox& box) {
    LetterBoxLock lock(box);
    std::vector<LetterPtr> letters;
    for (const auto id : box.GetLetterIds()) {
        letters.push_back(box.GetLetter(id));
    }
    return letters;
}

std::vector<std::string> TrustedSenderListTest::SubjectsOf(LetterBox& box) {
    std::vector<std::string> subjects;
    for (const auto& letter : LettersOf(box)) {
        subjects.push_back(letter->GetSubject());
    }
    return subjects;
}

std::string TrustedSenderListTest::ErrorOf(const std::function<void()>& action) {
    return moxeltest::ErrorOf(action);
}

}  // namespace moxeltest
