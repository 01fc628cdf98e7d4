#include "postoffice/PopClient.h"

#include "core/Exception.h"
#include "database/LetterData.h"

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

void PopClient::ReceiveMessages(const std::vector<int>& indexes, const TakeMessage& take) {
    for (std::size_t position = 0; position < indexes.size(); ++position) {
        auto letter = std::make_unique<Letter>();
        ReceiveMessage(indexes[position], *letter);
        take(position, std::move(letter));
    }
}

std::vector<std::string> PopClient::TakeWarnings() {
    return {};
}

DatabaseLayer::PopClientData& PopClient::GetData() {
    throw Exception("Not supported");
}
