#include "postoffice/HeldMail.h"

#include <memory>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterBoxData.h"
#include "database/LetterData.h"
#include "database/PatientLetterBoxLock.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "database/tables/LetterDataTable.h"
#include "postoffice/PostOffice.h"

using DatabaseLayer::Transaction;

namespace {

std::exception_ptr NoHeldLetter(std::int64_t id) {
    return std::make_exception_ptr(
        Exception(Format("No held letter %1% (released, deleted or expired meanwhile?)", id)));
}

// The ids of the letters of box `boxId`, oldest row first; the box need not be open.
std::vector<std::int64_t> LetterIdsOf(std::int64_t boxId) {
    std::vector<std::int64_t> ids;
    auto rows = DatabaseLayer::ExecuteQuery(
        Format("SELECT id FROM %1% WHERE collectionId = %2% ORDER BY id;",
               DatabaseLayer::LetterDataTable().TableName(), boxId));
    for (; !rows.AtEnd(); rows.NextRow()) {
        ids.push_back(rows.GetInt64Field("id"));
    }
    return ids;
}

// The box held open for this thread, waiting up to `deadline` for the thread that has it.
std::unique_ptr<PatientLetterBoxLock> OpenWithin(LetterBoxPtr box,
                                                 std::chrono::steady_clock::time_point deadline) {
    try {
        return std::make_unique<PatientLetterBoxLock>(std::move(box), deadline);
    } catch (const Exception& error) {
        throw Exception(
            "The account's letters are in use by a collection or a mail program; "
            "try again in a moment",
            error);
    }
}

HeldLetter Describe(std::int64_t id, const std::string& account) {
    const Letter letter(id);
    return {id,
            account,
            letter.GetTimeRetrieved(),
            letter.GetSender(),
            letter.GetSubject(),
            letter.GetSize()};
}

}  // namespace

HeldMail::HeldMail(PostOffice& postOfficeIn, std::chrono::milliseconds boxWaitIn)
    : postOffice(postOfficeIn), boxWait(boxWaitIn) {}

std::vector<MailDeliveryPointPtr> HeldMail::Points() {
    std::vector<MailDeliveryPointPtr> points;
    for (const auto id : postOffice.GetDeliveryPoints().GetElementIds()) {
        points.push_back(std::make_shared<MailDeliveryPoint>(id));
    }
    return points;
}

std::vector<HeldLetter> HeldMail::List(const std::optional<LetterBoxKey>& account) {
    std::vector<MailDeliveryPointPtr> points;
    if (account) {
        const auto point = postOffice.FindDeliveryPoint(*account);
        if (!point) {
            throw Exception("No account " + account->ToString());
        }
        points.push_back(point);
    } else {
        points = Points();
    }
    std::vector<HeldLetter> letters;
    for (const auto& point : points) {
        const std::string key = point->GetLetterBoxKey();
        for (const auto id : LetterIdsOf(point->GetPendingLetters()->GetId())) {
            letters.push_back(Describe(id, key));
        }
    }
    return letters;
}

HeldMail::Owner HeldMail::FindOwner(std::int64_t id) {
    const DatabaseLayer::LetterDataTable table;
    if (id > 0 && table.Exists(id)) {
        const std::int64_t box = table.GetInt64Field(id, "collectionId");
        for (const auto& point : Points()) {
            if (point->GetPendingLetters()->GetId() == box) {
                return {point, Describe(id, point->GetLetterBoxKey())};
            }
        }
    }
    std::rethrow_exception(NoHeldLetter(id));
}

void HeldMail::RequireStillHeld(std::int64_t id, MailDeliveryPoint& point) {
    const DatabaseLayer::LetterDataTable table;
    if (!table.Exists(id) ||
        table.GetInt64Field(id, "collectionId") != point.GetPendingLetters()->GetId()) {
        std::rethrow_exception(NoHeldLetter(id));
    }
}

HeldLetter HeldMail::Get(std::int64_t id) {
    return FindOwner(id).letter;
}

std::string HeldMail::GetText(std::int64_t id) {
    FindOwner(id);
    return Letter(id).GetText();
}

HeldLetter HeldMail::Release(std::int64_t id) {
    const auto deadline = std::chrono::steady_clock::now() + boxWait;
    const Owner owner = FindOwner(id);
    const auto pending = owner.point->GetPendingLetters();
    const auto inbox = owner.point->GetInbox();
    const auto pendingLock = OpenWithin(pending, deadline);
    const auto inboxLock = OpenWithin(inbox, deadline);
    Transaction transaction;
    RequireStillHeld(id, *owner.point);
    inbox->MoveLetterHere(pending->GetLetter(id));
    return owner.letter;
}

HeldMail::Approval HeldMail::ApproveSender(std::int64_t id) {
    const auto deadline = std::chrono::steady_clock::now() + boxWait;
    const Owner owner = FindOwner(id);
    if (owner.letter.sender.empty()) {
        throw Exception(Format("Held letter %1% has no sender address", id));
    }
    // Every account's boxes, as the sort opens them: an approval releases held letters of all.
    const auto points = Points();
    std::vector<std::unique_ptr<PatientLetterBoxLock>> locks;
    for (const auto& point : points) {
        locks.push_back(OpenWithin(point->GetPendingLetters(), deadline));
        locks.push_back(OpenWithin(point->GetInbox(), deadline));
    }
    Approval approval{owner.letter.sender, 0};
    Transaction transaction;
    RequireStillHeld(id, *owner.point);
    SenderList& senders = postOffice.GetApprovedSenders();
    senders.Add(approval.sender);
    for (const auto& point : points) {
        const auto pending = point->GetPendingLetters();
        const auto inbox = point->GetInbox();
        for (const auto letterId : pending->GetLetterIds()) {
            const LetterPtr letter = pending->GetLetter(letterId);
            if (letter && senders.Contains(letter->GetSender())) {
                inbox->MoveLetterHere(letter);
                ++approval.released;
            }
        }
    }
    return approval;
}

HeldLetter HeldMail::Delete(std::int64_t id) {
    const auto deadline = std::chrono::steady_clock::now() + boxWait;
    const Owner owner = FindOwner(id);
    const auto pending = owner.point->GetPendingLetters();
    const auto pendingLock = OpenWithin(pending, deadline);
    Transaction transaction;
    RequireStillHeld(id, *owner.point);
    pending->RemoveLetter(id);
    return owner.letter;
}
