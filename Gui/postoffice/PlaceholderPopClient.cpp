#include "postoffice/PlaceholderPopClient.h"

#include "core/Exception.h"

PlaceholderPopClient::PlaceholderPopClient(const std::string& hostName, const std::string& userName,
                                           const std::string& password, std::int32_t port,
                                           std::int32_t timeoutInSeconds)
    : data(hostName, userName, password, port, timeoutInSeconds) {}

PlaceholderPopClient::PlaceholderPopClient(std::int64_t id) : data(id) {}

void PlaceholderPopClient::GetMessage(int /*index*/, Letter& /*letter*/) {
    throw Exception("Not supported");
}

void PlaceholderPopClient::DeleteAllMessages() {
    throw Exception("Not supported");
}

std::string PlaceholderPopClient::GetMessageId(int /*index*/) {
    throw Exception("Not supported");
}
