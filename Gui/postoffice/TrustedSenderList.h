#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>

#include "core/Clock.h"
#include "core/EventReporter.h"
#include "database/LetterTypes.h"
#include "database/SenderList.h"
#include "postoffice/TrustedSenderListData.h"

// The challenge-and-response filter: decides whether a sender is approved, queues a
// verification request for a sender who is not, turns the queue into verification letters,
// remembers which addresses wait for verification with which code, and approves the senders
// of replies that carry a code. Addresses and codes are compared as exact texts.
//
// One list in the program, owned by the post office; its operations run on the mail collection
// thread, over that thread's connection (the user may edit the approved senders at the same
// time through an object of their own). Every operation may throw Exception on a database error.
class TrustedSenderList {
public:
    // A new list with an empty approved senders list, 14 days until a pending address expires
    // and 6 hours between two letters to one address; not persistent until SetPersistent(true).
    TrustedSenderList() = default;
    // The existing list `id`.
    explicit TrustedSenderList(std::int64_t id) : data(id) {}

    std::int64_t GetId() const { return data.GetId(); }
    // Keeps or drops the list together with its approved senders, queue and pending addresses.
    void SetPersistent(bool value) { data.SetPersistent(value); }
    DatabaseLayer::TrustedSenderListData& GetData() { return data; }
    // The approved senders ("Approved Senders" to the user).
    SenderList& GetSenderList() { return data.GetSenderList(); }

    // Whether the approved senders hold `address` itself or the text after its first "@".
    bool IsApprovedSender(const std::string& address);

    // For a newly collected letter on behalf of the protected account `letterBoxAddress`: unless
    // its sender is approved, has no address, or already has a request queued, or the letter is
    // automatic mail (JudgeAutomaticMail: then VerificationRequestSkipped says why), raises
    // CreatingVerificationRequest and queues a request: with a new code for a sender not pending
    // verification, with the pending code when the last letter to the sender is at least the
    // time between requests old, otherwise none.
    void QueueVerificationRequest(const Letter& letter, const std::string& letterBoxAddress,
                                  const Clock& clock, EventReporter& eventReporter);

    // Consumes every letter of `letterBox` whose subject holds a well-formed code, in one
    // transaction: each approves its sender and the address the code was sent to (SenderApproved
    // for each) when the code is pending; it is deleted either way. Throws Exception "Unable to
    // open LetterBox" when another thread holds the box; on any failure the letters stay.
    void ProcessVerificationReplies(LetterBox& letterBox, EventReporter& eventReporter);

    // Forgets the expired pending addresses, records the queued requests as pending (now), writes
    // their letters into `outgoingLetterBox`, committed every 100 letters together with the
    // removal of their requests, and empties the queue. A failure leaves the batches already
    // written in the box and only the requests not yet written in the queue for the next run.
    // Throws Exception "Unable to open LetterBox" when another thread holds the box.
    void DispatchVerificationRequests(const Clock& clock, LetterBox& outgoingLetterBox);

private:
    // True without a pending entry for `address`, when the time between requests has passed
    // since its last letter, or when that letter lies more than two hours after now (a clock set
    // back; a smaller lead is the hour repeated when summer time ends, and is waited out).
    bool IsRepeatDue(const std::string& address, const Clock& clock);
    // The code sent to the pending `address`. Throws Exception "No entry for <address> in
    // addresses pending verification" when there is none.
    std::string PendingVerificationCode(const std::string& address);
    // Approves the sender of `letter` and the address its code was sent to. Throws Exception
    // "Internal error: unable to extract verification code from letter" without a code.
    void ApproveFromReply(const Letter& letter, EventReporter& eventReporter);
    void Approve(const std::string& address, EventReporter& eventReporter);
    void QueueRequest(const Letter& letter, const std::string& letterBoxAddress,
                      const std::string& code, const std::string& messageId);

    void ExpirePendingAddresses(const Clock& clock);
    void RecordPendingAddresses(const Clock& clock);
    void ComposeVerificationLetters(LetterBox& outgoingLetterBox);
    void ClearVerificationRequests();

    DatabaseLayer::TrustedSenderListData data;
};
