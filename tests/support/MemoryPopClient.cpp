#include "support/MemoryPopClient.h"

#include <map>
#include <memory>
#include <stdexcept>

#include "core/Exception.h"
#include "database/LetterData.h"
#include "database/TypeRegistry.h"
#include "database/tables/PopClientDataTable.h"

namespace moxeltest {

namespace {

std::map<std::string, MemoryMailbox>& Mailboxes() {
    static std::map<std::string, MemoryMailbox> mailboxes;
    return mailboxes;
}

}  // namespace

MemoryMailbox& MemoryMailbox::Of(const std::string& host) {
    return Mailboxes()[host];
}

void MemoryMailbox::ResetAll() {
    Mailboxes().clear();
}

std::string MemoryMailbox::Add(const std::string& id, const std::string& subject,
                               const std::string& from) {
    const std::string text = "From: " + from + "\r\nTo: me@home.example\r\nSubject: " + subject +
                             "\r\n\r\nBody of " + subject + "\r\n";
    messages.push_back({id, text});
    return text;
}

MemoryPopClient::~MemoryPopClient() {
    if (connected) {
        ++Mailbox().abandonedSessions;
    }
}

void MemoryPopClient::Register() {
    DatabaseLayer::TypeRegistry<PopClient>::Register(
        MemoryPopClientData::kType,
        [](std::int64_t id) { return std::make_shared<MemoryPopClient>(id); });
}

void MemoryPopClient::RequireSession() const {
    if (!connected) {
        throw Exception("not connected");
    }
}

void MemoryPopClient::Connect() {
    Mailbox().calls.push_back("connect");
    if (Mailbox().failConnectOddly) {
        throw std::logic_error("odd failure");
    }
    connected = true;
    marked.clear();
    sessionCount = static_cast<int>(Mailbox().messages.size());
}

int MemoryPopClient::GetMessageCount() {
    RequireSession();
    Mailbox().calls.push_back("count");
    return sessionCount;
}

const MemoryMailbox::Message& MemoryPopClient::MessageAt(int index) {
    RequireSession();
    if (index < 0 || index >= sessionCount) {
        throw Exception("no such message");
    }
    return Mailbox().messages.at(static_cast<std::size_t>(index));
}

std::string MemoryPopClient::GetMessageId(int index) {
    Mailbox().calls.push_back("id " + std::to_string(index));
    return MessageAt(index).id;
}

void MemoryPopClient::GetMessage(int index, Letter& letter) {
    Mailbox().calls.push_back("get " + std::to_string(index));
    const std::string text = MessageAt(index).text;
    letter.SetText("");
    if (Mailbox().failDownloadAt == index) {
        Mailbox().failDownloadAt = -1;
        // The session is gone, as after a dropped connection.
        connected = false;
        throw Exception("connection dropped");
    }
    letter.StoreText(text);
}

void MemoryPopClient::ReceiveMessage(int index, Letter& letter) {
    Mailbox().calls.push_back("get " + std::to_string(index));
    const std::string text = MessageAt(index).text;
    if (Mailbox().failDownloadAt == index) {
        Mailbox().failDownloadAt = -1;
        connected = false;
        throw Exception("connection dropped");
    }
    // Left pending, as the real client does: the distributor stores it.
    letter.ClearPendingText();
    letter.AppendPendingText(text);
}

void MemoryPopClient::DeleteAllMessages() {
    RequireSession();
    if (Mailbox().beforeDeletion) {
        Mailbox().beforeDeletion();
    }
    Mailbox().calls.push_back("delete-all");
    if (Mailbox().failDeletion) {
        throw Exception("deletion refused");
    }
    for (int index = 0; index < sessionCount; ++index) {
        marked.insert(index);
    }
}

void MemoryPopClient::DeleteMessages(const std::vector<int>& indexes) {
    RequireSession();
    if (Mailbox().beforeDeletion && !indexes.empty()) {
        Mailbox().beforeDeletion();
    }
    for (const int index : indexes) {
        Mailbox().calls.push_back("delete " + std::to_string(index));
    }
    if (Mailbox().failDeletion) {
        throw Exception("deletion refused");
    }
    marked.insert(indexes.begin(), indexes.end());
}

void MemoryPopClient::Disconnect() {
    if (!connected) {
        return;
    }
    Mailbox().calls.push_back("disconnect");
    connected = false;
    auto& messages = Mailbox().messages;
    // From the back, so that the indexes still to go keep their places.
    for (auto index = marked.rbegin(); index != marked.rend(); ++index) {
        messages.erase(messages.begin() + *index);
    }
    marked.clear();
}

}  // namespace moxeltest
