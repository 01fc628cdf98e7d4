#include "postoffice/PopClient.h"

#include "core/Exception.h"

PopClient::~PopClient() = default;

std::string PopClient::GetHostName() {
    return GetData().GetHostName();
}

std::string PopClient::GetUserName() {
    return GetData().GetUserName();
}

std::string PopClient::GetPassword() {
    return GetData().GetPassword();
}

void PopClient::SetPassword(const std::string& password) {
    GetData().SetPassword(password);
}

void PopClient::DeleteMessages(const std::vector<int>& /*indexes*/) {
    throw Exception("Not supported");
}

void PopClient::ReceiveMessage(int index, Letter& letter) {
    GetMessage(index, letter);
}

std::vector<std::string> PopClient::TakeWarnings() {
    return {};
}

DatabaseLayer::PopClientData& PopClient::GetData() {
    throw Exception("Not supported");
}
