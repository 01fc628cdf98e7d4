#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/LetterBoxKey.h"
#include "database/LetterTypes.h"

// The operating system's id of the thread that raised an event (platform::CurrentThreadId()).
using ThreadId = std::uint32_t;

// Receives the core events of the mail flow and of the local POP3 service. Every operation has
// an empty default body, so a handler overrides only what it needs. Events arrive on the thread
// that raised them (its id is the first argument), possibly on several threads at once: a
// handler guards its own state. Registered with an EventReporter, which does not own it; a
// handler removes itself from every reporter before it is destroyed.
class MoxelCoreEventHandler {
public:
    // The threads whose events this handler takes; an empty list means every thread.
    // Asked before each delivery except UserConnected.
    virtual std::vector<ThreadId> GetThreadFilter(const ThreadId& thread);

    // Local POP3 session: a mail program connected (reaches every handler, whatever its filter).
    virtual void UserConnected(const ThreadId& thread);
    virtual void UserDisconnected(const ThreadId& thread);
    // A request line as read from the mail program.
    virtual void RequestReceived(const ThreadId& thread, const std::string& request);
    // A status or listing line sent to the mail program (without its line end).
    virtual void ResponseSent(const ThreadId& thread, const std::string& response);
    // A message text sent to the mail program.
    virtual void ResponseDataSent(const ThreadId& thread, const std::string& data);
    virtual void MailProgramLoggedIn(const ThreadId& thread, const LetterBoxKey& key);
    virtual void MailProgramLoggedOut(const ThreadId& thread, const LetterBoxKey& key);

    // Collection run.
    virtual void CollectingStarted(const ThreadId& thread);
    virtual void CollectingFinished(const ThreadId& thread);
    virtual void ErrorOccurred(const ThreadId& thread, const std::string& error);
    // Downloading one account failed.
    virtual void CollectingFailed(const ThreadId& thread, const std::string& error);
    // The repeated collection thread started or ended.
    virtual void ApplicationStarted(const ThreadId& thread);
    virtual void ApplicationExited(const ThreadId& thread);
    // About to download the account named by `key`.
    virtual void CheckingMail(const ThreadId& thread, const LetterBoxKey& key);
    // The letters just downloaded for one account.
    virtual void LettersRetrieved(const ThreadId& thread, const LetterBoxPtr& letters);
    // A verification request for `senderAddress` is made on behalf of the protected account
    // `deliveryPointAddress`.
    virtual void CreatingVerificationRequest(const ThreadId& thread,
                                             const std::string& deliveryPointAddress,
                                             const std::string& senderAddress);

    // Outgoing mail.
    virtual void SendingMail(const ThreadId& thread, const std::string& smtpHost);
    virtual void MessagesSent(const ThreadId& thread, int count);
    virtual void SendingMessage(const ThreadId& thread, const LetterPtr& letter);
    virtual void MessageSent(const ThreadId& thread, const LetterPtr& letter);
    // `giveUp` is true when the letter will not be tried again.
    virtual void MessageNotSent(const ThreadId& thread, const LetterPtr& letter,
                                const std::string& error, bool giveUp);

    // Sorting.
    virtual void ApprovedLettersAdded(const ThreadId& thread, int count);
    virtual void SenderApproved(const ThreadId& thread, const std::string& sender);
    virtual void ProcessingIncomingMail(const ThreadId& thread);
    virtual void ProcessingFinished(const ThreadId& thread);

    // Downloading one account met a problem that did not stop it (after CheckingMail, before
    // LettersRetrieved or CollectingFailed).
    virtual void CollectingWarning(const ThreadId& thread, const std::string& warning);

    // A letter for the protected account `deliveryPointAddress` from `senderAddress`, who is not
    // approved, is held without a verification request: no person would answer it (`reason`).
    virtual void VerificationRequestSkipped(const ThreadId& thread,
                                            const std::string& deliveryPointAddress,
                                            const std::string& senderAddress,
                                            const std::string& reason);

    // Declared after the events so that they keep their order in the table of operations.
    virtual ~MoxelCoreEventHandler();
};
