#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "popserver/LetterBoxProvider.h"

// The inbox of one account as a local POP3 session sees it: opened for the session's thread
// alone for the whole login, a list of letters numbered by index from 0, and deletion marks
// that take effect only at Update (QUIT). One object per session thread; not shared.
//
// Operations that take an index check, in this order: an index below 0 (InvalidLetterIndex,
// also when logged out), the login (LoggedOut), an index not below the count
// (InvalidLetterIndex), and then, where stated, a mark (LetterDeleted).
class MailDrop {
public:
    class LoginFailureException : public Exception {
    public:
        using Exception::Exception;
    };
    class LoggedOutException : public Exception {
    public:
        LoggedOutException() : Exception("Logged out") {}
    };
    class InvalidLetterIndexException : public Exception {
    public:
        InvalidLetterIndexException() : Exception("Invalid letter index") {}
    };
    class LetterDeletedException : public Exception {
    public:
        LetterDeletedException() : Exception("Letter deleted") {}
    };

    explicit MailDrop(std::shared_ptr<LetterBoxProvider> provider);
    // Closes the box when this thread still has it open; never throws.
    ~MailDrop();
    MailDrop(const MailDrop&) = delete;
    MailDrop& operator=(const MailDrop&) = delete;

    // Logs the provider in and opens the box, retrying every 100 ms while another thread (the
    // collection, a dispatch run) has it open, for at most `timeoutSeconds`. Throws
    // LoginFailureException with the provider's text or "Unable to open LetterBox"; after the
    // latter the provider still holds the box, so only Logout can follow.
    void Login(const std::string& userName, const std::string& password, int timeoutSeconds);
    bool IsLoggedIn() const;
    int GetLetterCount() const;
    int GetUndeletedCount() const;
    std::uint64_t GetUndeletedSize() const;
    std::uint64_t GetLetterSize(int index) const;
    std::string GetLetterText(int index) const;
    std::string GetLetterTop(int index, int lines) const;
    std::string GetUniqueId(int index) const;
    bool IsDeleted(int index) const;
    void MarkDeleted(int index);
    void ResetDeleted();
    // Removes the marked letters in one transaction, durable before it returns; nothing when
    // logged out.
    void Update();
    // Drops the marks, closes the box and logs the provider out.
    void Logout();

private:
    void CheckIndex(int index) const;
    void CheckNotMarked(int index) const;
    void RequireLogin() const;
    LetterPtr GetLetter(int index) const;

    std::vector<int> marks;
    std::shared_ptr<LetterBoxProvider> provider;
    std::vector<std::int64_t> letterKeys;
    // The size of each letter once asked for, by index; taken anew at each login. The box is
    // open for this session alone meanwhile, so no letter can change under it, and STAT and
    // LIST need not read every letter again.
    mutable std::vector<std::optional<std::uint64_t>> sizes;
};
