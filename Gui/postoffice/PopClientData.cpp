#include "postoffice/PopClientData.h"

#include "database/Transaction.h"

namespace DatabaseLayer {

PopClientData::PopClientData(std::int32_t type, const std::string& hostName,
                             const std::string& userName, const std::string& password,
                             std::int32_t port, std::int32_t timeoutInSeconds) {
    // One commit for the six fields; should one fail, the destructor drops the new row.
    Transaction transaction;
    SetIntField("type", type);
    SetHostName(hostName);
    SetUserName(userName);
    SetPassword(password);
    SetPort(port);
    SetTimeoutInSeconds(timeoutInSeconds);
}

}  // namespace DatabaseLayer
