#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/LetterBoxKey.h"
#include "postoffice/MailDeliveryPoint.h"

class PostOffice;

// One letter held because its sender is not approved, as a review shows it. Texts as stored:
// the subject undecoded (DecodeHeaderForDisplay makes it readable).
struct HeldLetter {
    std::int64_t id = 0;
    // The account's letter box key text.
    std::string account;
    boost::posix_time::ptime retrieved;
    std::string sender;
    std::string subject;
    std::size_t size = 0;
};

// Review of the held letters of a post office's accounts: list them, read one, release one to
// its account's inbox, approve its sender (every held letter of an approved sender goes to its
// inbox), delete one. A held letter is one in an account's pending box; ids are letter row ids.
//
// Used on one thread (the user interface thread, or a command's thread in the running copy),
// over that thread's connection, while the collection thread may run. Each change is one
// transaction, made with the boxes it touches open, as the collection opens them; when another
// thread has one open, it waits for it up to the box wait given at construction. Every
// operation may throw Exception; "No held letter N" when `id` names no held letter (released,
// deleted or pruned meanwhile), and then nothing is changed.
class HeldMail {
public:
    static constexpr std::chrono::seconds kDefaultBoxWait{20};

    explicit HeldMail(PostOffice& postOffice, std::chrono::milliseconds boxWait = kDefaultBoxWait);

    // The held letters of `account`, or of every account, oldest first within an account; the
    // accounts in collection order. Reads without opening boxes. Throws Exception "No account
    // <key>" for a key that names no account.
    std::vector<HeldLetter> List(const std::optional<LetterBoxKey>& account = std::nullopt);
    // The held letter `id` and its stored text.
    HeldLetter Get(std::int64_t id);
    std::string GetText(std::int64_t id);
    // Moves the letter to its account's inbox; returns it as it was.
    HeldLetter Release(std::int64_t id);
    // Adds the letter's sender to the approved senders and moves every held letter of an
    // approved sender, of every account, to its inbox. Returns the sender and how many letters
    // moved. Throws Exception "Held letter N has no sender address" when it has none.
    struct Approval {
        std::string sender;
        int released = 0;
    };
    Approval ApproveSender(std::int64_t id);
    // Deletes the letter with its text; returns it as it was.
    HeldLetter Delete(std::int64_t id);

private:
    struct Owner {
        MailDeliveryPointPtr point;
        HeldLetter letter;
    };
    // The account whose pending box holds `id`. Throws "No held letter N".
    Owner FindOwner(std::int64_t id);
    // Throws "No held letter N" unless `id` is still in `point`'s pending box.
    static void RequireStillHeld(std::int64_t id, MailDeliveryPoint& point);
    std::vector<MailDeliveryPointPtr> Points();

    PostOffice& postOffice;
    std::chrono::milliseconds boxWait;
};
