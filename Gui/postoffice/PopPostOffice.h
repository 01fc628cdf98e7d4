#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/LetterBoxKey.h"
#include "postoffice/PostOffice.h"

class TarnwellSmtpDispatchPoint;

// The post office of POP3 accounts, with the operations that protect an account, take the
// password the mail program sends to the local POP3 server, give an account up without losing
// its mail, and list the accounts. An account is identified by its letter box key; its server
// is the key's host part, with a port after a ":" or else 110, and the client waits 30 seconds
// for an answer.
//
// The account operations run on the caller's thread (the application thread, or a local POP3
// session thread for the login hook), each over that thread's connection, while a collection
// run may work on the same accounts; each is one transaction. Every one may throw Exception.
class PopPostOffice : public PostOffice {
public:
    static constexpr std::int32_t kTimeoutInSeconds = 30;

    // Called by the local POP3 server after each successful login with the user name and the
    // password the mail program sent.
    using LoginHook = std::function<void(const std::string& userName, const std::string& password)>;

    // A new post office with a new SMTP dispatch point and no accounts; not persistent.
    PopPostOffice();
    // The existing post office `id`. Throws Exception when the row is gone.
    explicit PopPostOffice(std::int64_t id);

    // Protects the account before its password is known: a placeholder that downloads nothing.
    // A key already in use is left as it is, and no new row stays behind.
    void RegisterPlaceholderAccount(const LetterBoxKey& key);
    // Protects the account with its password: downloaded from the next collection run on.
    // A key already in use is left as it is.
    void RegisterPopAccount(const LetterBoxKey& key, const std::string& password);
    // Whether a delivery point is filed under `key`.
    bool IsAccountRegistered(const LetterBoxKey& key);
    // Stores `password` with the account's client (placeholder or POP3); no account: nothing.
    void UpdatePassword(const LetterBoxKey& key, const std::string& password);
    // Gives the placeholder account a POP3 client with the password it holds. Throws Exception
    // "Internal error in PopPostOffice::TurnPlaceholderDeliveryPointIntoPopPoint" when there is
    // no such account.
    void TurnPlaceholderDeliveryPointIntoPopPoint(const LetterBoxKey& key);
    // Stops downloading the account but keeps every letter it holds (held and recent ones
    // included) fetchable from the local server: a placeholder with all of them in its inbox
    // takes its place. Throws Exception "Internal error in
    // PopPostOffice::PrepareDeliveryPointForUnregistration" when there is no such account.
    void PrepareDeliveryPointForUnregistration(const LetterBoxKey& key);
    // Deletes the account with all its mail. Throws Exception "Cannot detach the delivery point;
    // it is not in the collection" when there is no such account.
    void UnregisterAccount(const LetterBoxKey& key);
    // The accounts that are downloaded (POP3 accounts), in collection order; placeholders are
    // left out.
    std::vector<LetterBoxKey> GetRegisteredAccounts();
    // Every account, placeholders included, in collection order.
    std::vector<LetterBoxKey> GetAllAccounts();

    // One protected account as a status display shows it. Letters are counted by their rows,
    // without opening the boxes, so the counts may be a moment old.
    struct AccountStatus {
        LetterBoxKey key;
        // Not downloaded yet: its password has not been seen.
        bool placeholder = false;
        // Waiting for the mail program.
        int inbox = 0;
        // Held until their senders are approved, or downloaded and not yet sorted.
        int held = 0;
    };
    // Every account, placeholders included, in collection order.
    std::vector<AccountStatus> GetAccountStatuses();
    // The letters in the dispatch point's box, waiting to be sent.
    int CountLettersToSend() const;

    // What the local POP3 server does after a login: registers the account, or updates its
    // password, in one transaction. Throws Exception "Invalid LetterBoxKey" for a user name that
    // is no key (or holds a NUL byte) and "Invalid password" for a password with a NUL byte.
    void MailProgramLoggedIn(const std::string& userName, const std::string& password);
    // MailProgramLoggedIn as a callable for the server; valid while this post office lives.
    LoginHook GetLoginHook();

    // The dispatch point with its SMTP settings. Throws Exception "Internal error: PopPostOffice:
    // dispatch point is not TarnwellSmtpDispatchPoint" for another kind.
    std::shared_ptr<TarnwellSmtpDispatchPoint> GetSmtpDispatchPoint() const;

private:
    // A new, unattached point for `key` with a placeholder (or POP3) client.
    static MailDeliveryPointPtr NewPoint(const LetterBoxKey& key, const std::string& password,
                                         bool placeholder);
    // Builds the point and attaches it; a key in use leaves no row behind.
    void RegisterAccount(const LetterBoxKey& key, const std::string& password, bool placeholder);
};
