#pragma once

#include <cstdint>
#include <string>

#include "database/ObjectData.h"
#include "database/tables/PopClientDataTable.h"

namespace DatabaseLayer {

// The stored account of a POP client: a row of "PopClient" with the kind of client (`type`), the
// server, the login and the connection time-out. The password is kept as plain text, because it
// must be sent to the server as it is. Used on the thread that made it; every call may throw
// Exception on a database error.
class PopClientData : public ObjectData<PopClientDataTable> {
public:
    // The existing row `existingId`; persistent.
    explicit PopClientData(std::int64_t existingId) : ObjectData(existingId) {}

    // 1 for a TarnwellPopClient, 2 for a PlaceholderPopClient.
    std::int32_t GetType() const { return GetIntField("type"); }
    std::string GetHostName() const { return GetStringField("hostName"); }
    void SetHostName(const std::string& value) { SetStringField("hostName", value); }
    std::string GetUserName() const { return GetStringField("userName"); }
    void SetUserName(const std::string& value) { SetStringField("userName", value); }
    std::string GetPassword() const { return GetStringField("password"); }
    void SetPassword(const std::string& value) { SetStringField("password", value); }
    std::int32_t GetPort() const { return GetIntField("port"); }
    void SetPort(std::int32_t value) { SetIntField("port", value); }
    std::int32_t GetTimeoutInSeconds() const { return GetIntField("timeoutInSeconds"); }
    void SetTimeoutInSeconds(std::int32_t value) { SetIntField("timeoutInSeconds", value); }

protected:
    // A new row of kind `type` holding the account; not persistent until its owner keeps it.
    PopClientData(std::int32_t type, const std::string& hostName, const std::string& userName,
                  const std::string& password, std::int32_t port, std::int32_t timeoutInSeconds);
};

}  // namespace DatabaseLayer
