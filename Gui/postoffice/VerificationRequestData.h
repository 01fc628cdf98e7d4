#pragma once

#include <cstdint>
#include <string>

#include "database/CopyableObjectData.h"
#include "database/tables/VerificationRequestDataTable.h"

namespace DatabaseLayer {

// The stored form of one verification letter still to be composed: a row of
// "VerificationRequest" in the request queue named by its collectionId (-1 for none). Used on
// the thread that made it; every call may throw Exception on a database error.
class VerificationRequestData : public CopyableObjectData<VerificationRequestDataTable> {
public:
    // A new, empty request row in no queue; not persistent.
    VerificationRequestData() = default;
    // The existing row `existingId`.
    explicit VerificationRequestData(std::int64_t existingId) : CopyableObjectData(existingId) {}
    VerificationRequestData(const VerificationRequestData&) = default;

    std::int64_t GetCollectionId() const { return GetInt64Field("collectionId"); }
    void SetCollectionId(std::int64_t value) { SetInt64Field("collectionId", value); }
    // The unknown sender, who receives the verification letter.
    std::string GetRecipientAddress() const { return GetStringField("recipientAddress"); }
    void SetRecipientAddress(const std::string& value) {
        SetStringField("recipientAddress", value);
    }
    // The protected account whose letter caused the request.
    std::string GetLetterBoxAddress() const { return GetStringField("letterBoxAddress"); }
    void SetLetterBoxAddress(const std::string& value) {
        SetStringField("letterBoxAddress", value);
    }
    std::string GetVerificationCode() const { return GetStringField("verificationCode"); }
    void SetVerificationCode(const std::string& value) {
        SetStringField("verificationCode", value);
    }
    // The subject of the held letter that caused the request.
    std::string GetOriginalSubject() const { return GetStringField("originalSubject"); }
    void SetOriginalSubject(const std::string& value) { SetStringField("originalSubject", value); }
    // The Message-ID ("<...>") of the held letter that caused the request; empty when it had
    // none.
    std::string GetOriginalMessageId() const { return GetStringField("originalMessageId"); }
    void SetOriginalMessageId(const std::string& value) {
        SetStringField("originalMessageId", value);
    }
};

}  // namespace DatabaseLayer
