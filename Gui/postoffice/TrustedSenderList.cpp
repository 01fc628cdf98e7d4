#include "postoffice/TrustedSenderList.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "core/Exception.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "database/Transaction.h"
#include "postoffice/AutomaticMailRule.h"
#include "postoffice/VerificationCode.h"
#include "postoffice/VerificationRequest.h"

using DatabaseLayer::Transaction;

namespace {

// Verification letters are committed in batches of this many, so that a long queue never holds
// the database in one long transaction.
constexpr std::size_t kComposeBatchSize = 100;

// Local time runs back by at most this much when summer time ends (two hours in the zones that
// step back furthest). A last letter stamped up to this far ahead of now may have been sent in
// the first pass of the repeated hour, minutes ago.
const boost::posix_time::time_duration kLongestRepeatedLocalTime = boost::posix_time::hours(2);

bool CaseInsensitiveEqual(std::string_view a, std::string_view b) {
    return !CaseInsensitiveLess()(a, b) && !CaseInsensitiveLess()(b, a);
}

}  // namespace

bool TrustedSenderList::IsApprovedSender(const std::string& address) {
    return GetSenderList().Contains(address);
}

void TrustedSenderList::QueueVerificationRequest(const Letter& letter,
                                                 const std::string& letterBoxAddress,
                                                 const Clock& clock, EventReporter& eventReporter) {
    const std::string sender = letter.GetSender();
    // A letter without a sender address leaves nobody to ask.
    if (sender.empty() || IsApprovedSender(sender)) {
        return;
    }
    // At most one request per sender between two dispatches.
    if (data.GetRequestQueue().HoldsRequestFor(sender)) {
        return;
    }
    const HeaderFields headers = ParseHeaderFields(HeaderBlockOf(letter.GetText()));
    if (const auto verdict = JudgeAutomaticMail(headers, sender); verdict.automatic) {
        eventReporter.VerificationRequestSkipped(letterBoxAddress, sender, verdict.reason);
        return;
    }
    eventReporter.CreatingVerificationRequest(letterBoxAddress, sender);
    std::string messageId;
    for (const auto& [name, value] : headers) {
        if (CaseInsensitiveEqual(name, "Message-ID")) {
            messageId = value;
        }
    }
    if (!data.GetPendingAddresses().FindByAddress(sender)) {
        QueueRequest(letter, letterBoxAddress, std::string(), messageId);
    } else if (IsRepeatDue(sender, clock)) {
        QueueRequest(letter, letterBoxAddress, PendingVerificationCode(sender), messageId);
    }
}

void TrustedSenderList::QueueRequest(const Letter& letter, const std::string& letterBoxAddress,
                                     const std::string& code, const std::string& messageId) {
    Transaction transaction;
    VerificationRequest request(letter.GetSender(), letterBoxAddress, letter.GetSubject(), code,
                                messageId);
    request.SetCollectionId(data.GetRequestQueue().GetId());
    request.SetPersistent(true);
}

bool TrustedSenderList::IsRepeatDue(const std::string& address, const Clock& clock) {
    const auto entry = data.GetPendingAddresses().FindByAddress(address);
    if (!entry) {
        return true;
    }
    const boost::posix_time::ptime now = clock.Now();
    const boost::posix_time::ptime last = entry->GetLastVerificationTime();
    if (last > now) {
        // Further ahead than any repeated hour, the clock was set back: waiting for it to catch
        // up could hold every repeat back for days.
        return last - now > kLongestRepeatedLocalTime;
    }
    return now - last >= data.GetTimeBetweenVerificationRequests();
}

std::string TrustedSenderList::PendingVerificationCode(const std::string& address) {
    const auto entry = data.GetPendingAddresses().FindByAddress(address);
    if (!entry) {
        throw Exception("No entry for " + address + " in addresses pending verification");
    }
    return entry->GetVerificationCode();
}

void TrustedSenderList::ProcessVerificationReplies(LetterBox& letterBox,
                                                   EventReporter& eventReporter) {
    Transaction transaction;
    LetterBox replies;
    try {
        LetterBoxLock boxLock(letterBox);
        LetterBoxLock repliesLock(replies);
        for (const auto id : letterBox.GetLetterIds()) {
            const LetterPtr letter = letterBox.GetLetter(id);
            if (letter && LetterHasVerificationCode(*letter)) {
                replies.MoveLetterHere(*letter);
            }
        }
        for (const auto id : replies.GetLetterIds()) {
            if (const LetterPtr reply = replies.GetLetter(id)) {
                ApproveFromReply(*reply, eventReporter);
            }
        }
    } catch (...) {
        // The rollback puts the replies back into their box; deleting the temporary box now
        // would take their texts with it, which no rollback restores.
        replies.SetPersistent(true);
        throw;
    }
    // Leaving the scope deletes the temporary box with the replies and their texts.
}

void TrustedSenderList::ApproveFromReply(const Letter& letter, EventReporter& eventReporter) {
    std::string code;
    if (!ExtractVerificationCode(letter.GetSubject(), code)) {
        throw Exception("Internal error: unable to extract verification code from letter");
    }
    const auto entry = data.GetPendingAddresses().FindByCode(code);
    if (!entry) {
        return;
    }
    const std::string sender = letter.GetSender();
    const std::string asked = entry->GetAddress();
    Approve(sender, eventReporter);
    if (asked != sender) {
        Approve(asked, eventReporter);
    }
}

void TrustedSenderList::Approve(const std::string& address, EventReporter& eventReporter) {
    // An empty entry would approve every letter without a sender address.
    if (address.empty()) {
        return;
    }
    GetSenderList().Add(address);
    eventReporter.SenderApproved(address);
}

void TrustedSenderList::DispatchVerificationRequests(const Clock& clock,
                                                     LetterBox& outgoingLetterBox) {
    ExpirePendingAddresses(clock);
    RecordPendingAddresses(clock);
    ComposeVerificationLetters(outgoingLetterBox);
    ClearVerificationRequests();
}

void TrustedSenderList::ExpirePendingAddresses(const Clock& clock) {
    data.GetPendingAddresses().DeleteOlderThan(clock.Now() - data.GetTimeVerificationExpires());
}

void TrustedSenderList::RecordPendingAddresses(const Clock& clock) {
    Transaction transaction;
    const boost::posix_time::ptime now = clock.Now();
    auto& pending = data.GetPendingAddresses();
    for (const auto id : data.GetRequestQueue().GetRequestIds()) {
        const VerificationRequest request(id);
        const std::string address = request.GetRecipientAddress();
        if (const auto entry = pending.FindByAddress(address)) {
            entry->SetLastVerificationTime(now);
        } else {
            pending.AddEntry(address, request.GetVerificationCode(), now);
        }
    }
}

void TrustedSenderList::ComposeVerificationLetters(LetterBox& outgoingLetterBox) {
    const std::vector<std::int64_t> ids = data.GetRequestQueue().GetRequestIds();
    LetterBoxLock lock(outgoingLetterBox);
    for (std::size_t first = 0; first < ids.size(); first += kComposeBatchSize) {
        const std::size_t end = std::min(ids.size(), first + kComposeBatchSize);
        const std::vector<std::int64_t> batchIds(ids.begin() + first, ids.begin() + end);
        // A request leaves the queue with the commit of its letter, so that neither a later
        // failure nor a stop before the end of the run sends it again.
        Transaction batch;
        for (const auto id : batchIds) {
            VerificationRequest(id).ComposeLetter(outgoingLetterBox);
        }
        data.GetRequestQueue().Remove(batchIds);
    }
}

void TrustedSenderList::ClearVerificationRequests() {
    Transaction transaction;
    data.GetRequestQueue().Clear();
}
