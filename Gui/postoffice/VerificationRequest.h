#pragma once

#include <cstdint>
#include <string>

#include "database/LetterTypes.h"
#include "postoffice/VerificationRequestData.h"

// One verification letter still to be written: to whom (the unknown sender), on behalf of which
// protected account, with which code, and the subject of the held letter that caused it. Used
// on the mail collection thread; every call may throw Exception on a database error.
class VerificationRequest {
public:
    // A new request in no queue; not persistent. An empty `verificationCode` draws a new one
    // (MakeVerificationCode). All fields are stored together or not at all.
    VerificationRequest(const std::string& recipientAddress, const std::string& letterBoxAddress,
                        const std::string& originalSubject,
                        const std::string& verificationCode = std::string(),
                        const std::string& originalMessageId = std::string());
    // The existing request `id`.
    explicit VerificationRequest(std::int64_t id);

    std::int64_t GetId() const { return data.GetId(); }
    void SetPersistent(bool value) { data.SetPersistent(value); }
    std::int64_t GetCollectionId() const { return data.GetCollectionId(); }
    void SetCollectionId(std::int64_t value) { data.SetCollectionId(value); }
    std::string GetRecipientAddress() const { return data.GetRecipientAddress(); }
    std::string GetLetterBoxAddress() const { return data.GetLetterBoxAddress(); }
    std::string GetVerificationCode() const { return data.GetVerificationCode(); }
    std::string GetOriginalSubject() const { return data.GetOriginalSubject(); }
    std::string GetOriginalMessageId() const { return data.GetOriginalMessageId(); }

    // Writes the verification letter into `outgoingLetterBox` (open by the calling thread): from
    // the protected account to the unknown sender, no return path, the subject and body of the
    // settings "VerificationRequestSubject" ("%1%" the shortened original subject, "%2%" the
    // code) and "VerificationRequestBody" ("%1%" the unknown sender, "%2%" the protected
    // account). The letter says it is an automatic answer (RFC 3834 "Auto-Submitted:
    // auto-replied"), has a Message-ID of its own and, when the held letter had one, names it in
    // "In-Reply-To" and "References", so that the sender's program threads it and no automatic
    // answer comes back. Throws Exception "LetterBox not open", or the letter store's error; no
    // letter is left behind then.
    void ComposeLetter(LetterBox& outgoingLetterBox) const;

private:
    DatabaseLayer::VerificationRequestData data;
};

// The subject as it is quoted in a verification letter: a subject of more than 30 characters
// becomes its first 27 followed by "..."; a shorter one stays as it is. Characters are counted
// as UTF-8 sequences, so that no character is cut in two; a byte that starts no valid sequence
// counts as one character. Any thread.
std::string ShortenSubject(const std::string& text);
