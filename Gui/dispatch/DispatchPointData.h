#pragma once

#include <cstdint>
#include <string>

#include "database/LetterBoxData.h"
#include "database/ObjectData.h"
#include "database/tables/DispatchPointDataTable.h"

namespace DatabaseLayer {

// The stored form of a dispatch point: a row of "DispatchPoint" with the kind of dispatch point
// (`type`), the SMTP server settings, and the id of the box of letters to dispatch, which it
// owns, so that the box is kept or deleted with the row. Every get reads the database and every
// set writes it at once, so a change made on one thread holds for the next run on another.
// Used on the thread that made it; every call may throw Exception on a database error.
class DispatchPointData : public ObjectData<DispatchPointDataTable> {
public:
    // The existing row `existingId` and the box it names; persistent.
    explicit DispatchPointData(std::int64_t existingId);

    // Also applies to the box of letters to dispatch.
    void SetPersistent(bool value) override;

    LetterBox& GetLettersToDispatch() { return lettersToDispatch; }

    // 1 for a TarnwellSmtpDispatchPoint.
    std::int32_t GetType() const { return GetIntField("type"); }
    std::string GetSmtpServerAddress() const { return GetStringField("smtpServerAddress"); }
    void SetSmtpServerAddress(const std::string& value) {
        SetStringField("smtpServerAddress", value);
    }
    // Any stored value but 0 counts as enabled.
    bool IsAuthorizationEnabled() const { return GetIntField("authorizationEnabled") != 0; }
    void SetAuthorizationEnabled(bool value) { SetIntField("authorizationEnabled", value ? 1 : 0); }
    // 1: SMTP login with user name and password; 2: POP3 login before connecting; else none.
    std::int32_t GetAuthorizationMethod() const { return GetIntField("authorizationMethod"); }
    void SetAuthorizationMethod(std::int32_t value) { SetIntField("authorizationMethod", value); }
    std::string GetUserName() const { return GetStringField("userName"); }
    void SetUserName(const std::string& value) { SetStringField("userName", value); }
    std::string GetPassword() const { return GetStringField("password"); }
    void SetPassword(const std::string& value) { SetStringField("password", value); }
    std::string GetPopServer() const { return GetStringField("popServer"); }
    void SetPopServer(const std::string& value) { SetStringField("popServer", value); }
    std::string GetPopUserName() const { return GetStringField("popUserName"); }
    void SetPopUserName(const std::string& value) { SetStringField("popUserName", value); }
    std::string GetPopPassword() const { return GetStringField("popPassword"); }
    void SetPopPassword(const std::string& value) { SetStringField("popPassword", value); }

protected:
    // A new row of kind `type` with a new, empty box, authorisation off and method 1; neither
    // is persistent until the owner keeps them.
    explicit DispatchPointData(std::int32_t type);

private:
    LetterBox lettersToDispatch;
};

}  // namespace DatabaseLayer
