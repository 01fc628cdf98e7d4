#include "postoffice/MailDeliveryPoint.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <utility>

#include "core/Exception.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxKey.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/Transaction.h"
#include "dispatch/SettingsTestLetter.h"

using DatabaseLayer::Transaction;

namespace {

// The three boxes of a point, held open for the calling thread for the life of the scope.
class HeldBoxes {
public:
    HeldBoxes(LetterBoxPtr pendingBox, LetterBoxPtr inboxBox, LetterBoxPtr recentBox)
        : pending(std::move(pendingBox)),
          inbox(std::move(inboxBox)),
          recent(std::move(recentBox)),
          pendingLock(pending),
          inboxLock(inbox),
          recentLock(recent) {}

    const LetterBoxPtr pending;
    const LetterBoxPtr inbox;
    const LetterBoxPtr recent;

private:
    LetterBoxLock pendingLock;
    LetterBoxLock inboxLock;
    LetterBoxLock recentLock;
};

}  // namespace

const boost::posix_time::time_duration MailDeliveryPoint::kPendingLetterMaxAge =
    boost::posix_time::hours(7 * 24);
const boost::posix_time::time_duration MailDeliveryPoint::kPendingPruneInterval =
    boost::posix_time::hours(24);

MailDeliveryPoint::MailDeliveryPoint(const std::string& address, LetterDistributorPtr distributor)
    : data(address, std::move(distributor)) {}

MailDeliveryPoint::MailDeliveryPoint(std::int64_t id) : data(id) {}

void MailDeliveryPoint::DeleteWithAllItsMail(std::int64_t id) {
    MailDeliveryPoint doomed(id);
    doomed.SetPersistent(false);
}

void MailDeliveryPoint::DeliverMail(const Clock& clock, EventReporter& eventReporter) {
    const std::string keyText = data.GetLetterBoxKey();
    eventReporter.CheckingMail(LetterBoxKey::IsValid(keyText) ? LetterBoxKey::Parse(keyText)
                                                              : LetterBoxKey("", "", ""));
    // A warning belongs to the account's log whether the download then failed or not.
    const auto reportWarnings = [&] {
        for (const auto& warning : data.GetDistributor()->TakeWarnings()) {
            eventReporter.CollectingWarning(warning);
        }
    };
    try {
        data.GetDistributor()->Distribute(*data.GetRecentLetters(), clock);
    } catch (const Exception& error) {
        reportWarnings();
        eventReporter.CollectingFailed(error.what());
        throw;
    } catch (...) {
        reportWarnings();
        eventReporter.CollectingFailed(
            "Internal error in MailDeliveryPoint::DeliverMail; please contact Technical Support");
        throw;
    }
    reportWarnings();
    eventReporter.LettersRetrieved(data.GetRecentLetters());
}

void MailDeliveryPoint::SortIncomingMail(const Clock& clock, SenderList& approvedSenders,
                                         TrustedSenderList& trustedSenderList,
                                         EventReporter& eventReporter) {
    int approvedLetters = 0;
    {
        Transaction transaction;
        const HeldBoxes boxes(GetPendingLetters(), data.GetInbox(), data.GetRecentLetters());
        trustedSenderList.ProcessVerificationReplies(*boxes.recent, eventReporter);
        const int testLetters = MoveSettingsTestLetters(*boxes.recent, *boxes.inbox);
        RemoveLettersWithNullReturnPath(*boxes.recent);
        QueueVerificationRequests(*boxes.recent, clock, trustedSenderList, eventReporter);
        boxes.recent->MoveAllLettersTo(*boxes.pending);
        // Releases the new letters of approved senders and the held letters of senders approved
        // since the last run, the replies above included.
        approvedLetters =
            testLetters + MoveApprovedLetters(*boxes.pending, *boxes.inbox, approvedSenders);
        data.GetPendingPruner().Prune(kPendingLetterMaxAge, kPendingPruneInterval, clock);
    }
    // Reported only once committed: a sort that rolls back has added nothing.
    eventReporter.ApprovedLettersAdded(approvedLetters);
}

int MailDeliveryPoint::MoveSettingsTestLetters(LetterBox& recent, LetterBox& inbox) {
    int moved = 0;
    for (const auto id : recent.GetLetterIds()) {
        const LetterPtr letter = recent.GetLetter(id);
        if (letter && IsSettingsTestLetter(*letter)) {
            inbox.MoveLetterHere(letter);
            ++moved;
        }
    }
    return moved;
}

void MailDeliveryPoint::RemoveLettersWithNullReturnPath(LetterBox& recent) {
    // Bounces and other mail with an empty return path are never delivered and never answered.
    Transaction transaction;
    for (const auto id : recent.GetLetterIds()) {
        bool bounce = false;
        if (const LetterPtr letter = recent.GetLetter(id)) {
            bounce = letter->HasNullReturnPath();
        }
        // The letter object is gone by now, so that the row goes at once.
        if (bounce) {
            recent.RemoveLetter(id);
        }
    }
}

void MailDeliveryPoint::QueueVerificationRequests(LetterBox& recent, const Clock& clock,
                                                  TrustedSenderList& trustedSenderList,
                                                  EventReporter& eventReporter) {
    const std::string address = data.GetAddress();
    for (const auto id : recent.GetLetterIds()) {
        if (const LetterPtr letter = recent.GetLetter(id)) {
            trustedSenderList.QueueVerificationRequest(*letter, address, clock, eventReporter);
        }
    }
}

int MailDeliveryPoint::MoveApprovedLetters(LetterBox& pending, LetterBox& inbox,
                                           SenderList& approvedSenders) {
    const int before = inbox.GetLetterCount();
    for (const auto id : pending.GetLetterIds()) {
        const LetterPtr letter = pending.GetLetter(id);
        if (letter && approvedSenders.Contains(letter->GetSender())) {
            inbox.MoveLetterHere(letter);
        }
    }
    return inbox.GetLetterCount() - before;
}

void MailDeliveryPoint::ReleaseAllLetters() {
    Transaction transaction;
    const HeldBoxes boxes(GetPendingLetters(), data.GetInbox(), data.GetRecentLetters());
    boxes.pending->MoveAllLettersTo(*boxes.inbox);
    boxes.recent->MoveAllLettersTo(*boxes.inbox);
    // Letters a failed run downloaded (and may have deleted on the server) but did not hand
    // over yet: they would go with the distributor.
    data.GetDistributor()->HandOverWaitingLetters(*boxes.inbox);
}
