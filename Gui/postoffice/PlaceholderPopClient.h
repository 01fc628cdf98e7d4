#pragma once

#include <cstdint>
#include <string>

#include "postoffice/PlaceholderPopClientData.h"
#include "postoffice/PopClient.h"

// Stands for an account whose real server is not known yet: it keeps the host, the user name and
// the password the mail program sent, has no mail, and never touches the network. Used on one
// thread.
class PlaceholderPopClient : public PopClient {
public:
    // A new account; its row is not persistent until its owner keeps it.
    PlaceholderPopClient(const std::string& hostName, const std::string& userName,
                         const std::string& password, std::int32_t port,
                         std::int32_t timeoutInSeconds);
    // The existing account `id`.
    explicit PlaceholderPopClient(std::int64_t id);

    // Does nothing.
    void Connect() override {}
    // Always 0.
    int GetMessageCount() override { return 0; }
    // There is no message: throws Exception "Not supported".
    void GetMessage(int index, Letter& letter) override;
    // Throws Exception "Not supported".
    void DeleteAllMessages() override;
    // Does nothing.
    void Disconnect() override {}
    // Throws Exception "Not supported".
    std::string GetMessageId(int index) override;
    DatabaseLayer::PopClientData& GetData() override { return data; }

private:
    DatabaseLayer::PlaceholderPopClientData data;
};
