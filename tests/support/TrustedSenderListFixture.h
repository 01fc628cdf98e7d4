#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/EventReporter.h"
#include "core/MoxelCoreEventHandler.h"
#include "database/LetterBoxData.h"
#include "database/LetterData.h"
#include "postoffice/TrustedSenderList.h"
#include "support/DatabaseFixture.h"
#include "support/FixedClock.h"

namespace moxeltest {

// Records the two events of the trusted sender list, in order. Events are raised on the test
// thread only, so the record needs no guard.
class VerificationEventRecorder : public MoxelCoreEventHandler {
public:
    struct Event {
        std::string name;
        std::string arguments;
        bool operator==(const Event&) const = default;
    };

    void CreatingVerificationRequest(const ThreadId& thread,
                                     const std::string& deliveryPointAddress,
                                     const std::string& senderAddress) override;
    void SenderApproved(const ThreadId& thread, const std::string& sender) override;

    std::vector<Event> events;
};

std::ostream& operator<<(std::ostream& out, const VerificationEventRecorder::Event& event);

// One queued request as stored.
struct QueuedRequest {
    std::string recipientAddress;
    std::string letterBoxAddress;
    std::string verificationCode;
    std::string originalSubject;
};

// A kept trusted sender list on a fixed clock with a recording event reporter, a persistent
// box of newly collected letters and a persistent outgoing box.
class TrustedSenderListTest : public DatabaseTest {
protected:
    static const boost::posix_time::ptime kStart;
    static const std::string kAccount;

    void SetUp() override;
    void TearDown() override;

    // A letter (not in any box) with this sender and subject.
    static std::unique_ptr<Letter> MakeLetter(const std::string& sender,
                                              const std::string& subject);
    // QueueVerificationRequest for a letter from `sender` to `account`.
    void Queue(const std::string& sender, const std::string& subject,
               const std::string& account = kAccount);
    void Dispatch();
    // Stores a collected message in the recent box; returns its id.
    std::int64_t Collect(const std::string& text);
    // Collects a message from `sender` with `subject` and processes the replies of the box.
    void Reply(const std::string& sender, const std::string& subject);
    void ProcessReplies();

    std::vector<QueuedRequest> QueuedRequests();
    // The code pending for `address`; empty when it has no entry.
    std::string PendingCode(const std::string& address);
    // The stored lastVerificationTime text of `address`; empty when it has no entry.
    std::string PendingTimeText(const std::string& address);
    int PendingCount();
    // The letters of a box, in box order.
    std::vector<LetterPtr> LettersOf(LetterBox& box);
    std::vector<std::string> SubjectsOf(LetterBox& box);
    void AdvanceTo(const boost::posix_time::ptime& time) { clock.Set(time); }
    // The message of the Exception that `action` throws; "(no error)" when it throws none.
    static std::string ErrorOf(const std::function<void()>& action);

    FixedClock clock{kStart};
    EventReporter reporter;
    VerificationEventRecorder recorder;
    std::unique_ptr<TrustedSenderList> list;
    std::unique_ptr<LetterBox> recent;
    std::unique_ptr<LetterBox> outgoing;
};

}  // namespace moxeltest
