#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Clock.h"
#include "core/EventReporter.h"
#include "database/LetterPruner.h"
#include "database/LetterTypes.h"
#include "database/SenderList.h"
#include "postoffice/LetterDistributor.h"
#include "postoffice/MailDeliveryPointData.h"
#include "postoffice/TrustedSenderList.h"

// One protected mail account: its address, the boxes its mail passes through (recent box after
// download, pending box while the sender is not approved, inbox once approved) and the
// distributor that downloads its new mail. Once per collection run the post office asks it to
// download (DeliverMail), then to sort (SortIncomingMail); the local POP3 server serves its inbox.
//
// An object lives on one thread (the collection thread, the user interface thread or a POP3
// session thread), each building its own from the row. Every operation may throw Exception.
class MailDeliveryPoint {
public:
    // Held letters older than this are deleted...
    static const boost::posix_time::time_duration kPendingLetterMaxAge;
    // ...at most once in this long.
    static const boost::posix_time::time_duration kPendingPruneInterval;

    // A new point for the account `address` with new boxes and pruner; not persistent until it
    // is attached to the collection (or SetPersistent(true)).
    MailDeliveryPoint(const std::string& address, LetterDistributorPtr distributor);
    // The existing point `id`.
    explicit MailDeliveryPoint(std::int64_t id);

    // Deletes the point `id` with its boxes and their letters, its pruner and its distributor.
    static void DeleteWithAllItsMail(std::int64_t id);

    std::int64_t GetId() const { return data.GetId(); }
    DatabaseLayer::MailDeliveryPointData& GetData() { return data; }
    // Keeps or drops the point with everything it owns.
    void SetPersistent(bool value) { data.SetPersistent(value); }

    std::string GetAddress() const { return data.GetAddress(); }
    // The stored key text; empty while not attached.
    std::string GetLetterBoxKey() const { return data.GetLetterBoxKey(); }
    LetterBoxPtr GetInbox() const { return data.GetInbox(); }
    LetterBoxPtr GetRecentLetters() const { return data.GetRecentLetters(); }
    LetterPruner& GetPendingPruner() { return data.GetPendingPruner(); }
    LetterBoxPtr GetPendingLetters() { return data.GetPendingPruner().GetLetterBox(); }
    LetterDistributorPtr GetDistributor() const { return data.GetDistributor(); }

    // Downloads the account's new mail into the recent box: raises CheckingMail, runs the
    // distributor, then raises LettersRetrieved with the recent box. A failure raises
    // CollectingFailed with its message instead and passes on unchanged.
    void DeliverMail(const Clock& clock, EventReporter& eventReporter);
    // Sorts the recent box in one transaction: the letters of the SMTP settings test go straight
    // to the inbox (counted in ApprovedLettersAdded), replies with a verification code approve
    // their senders and are consumed, letters with the return path "<>" are deleted, every other
    // sender who is not approved gets a verification request queued, every letter goes to the
    // pending box, and the letters of approved senders move on to the inbox (ApprovedLettersAdded
    // with their number, raised once the sort is committed). Held letters older than 7 days are
    // pruned at most once a day. Throws Exception "Unable to open LetterBox" when another thread
    // holds one of the boxes; on any failure every letter stays where it was.
    void SortIncomingMail(const Clock& clock, SenderList& approvedSenders,
                          TrustedSenderList& trustedSenderList, EventReporter& eventReporter);
    // Moves every pending and every recent letter, and the letters the distributor downloaded
    // but did not hand over yet, into the inbox, in one transaction (used when the account is
    // given up, so that no letter is lost).
    void ReleaseAllLetters();

private:
    // Moves the letters of this installation's SMTP settings test to the inbox, so that they
    // raise no verification request to the user's own address; returns how many.
    int MoveSettingsTestLetters(LetterBox& recent, LetterBox& inbox);
    void RemoveLettersWithNullReturnPath(LetterBox& recent);
    void QueueVerificationRequests(LetterBox& recent, const Clock& clock,
                                   TrustedSenderList& trustedSenderList,
                                   EventReporter& eventReporter);
    // Moves the letters of approved senders from `pending` to `inbox`; returns how many the
    // inbox gained.
    int MoveApprovedLetters(LetterBox& pending, LetterBox& inbox, SenderList& approvedSenders);

    DatabaseLayer::MailDeliveryPointData data;
};

using MailDeliveryPointPtr = std::shared_ptr<MailDeliveryPoint>;
