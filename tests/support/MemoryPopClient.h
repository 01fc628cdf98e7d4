#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "postoffice/PopClient.h"
#include "postoffice/PopClientData.h"

namespace moxeltest {

// A POP3 mailbox kept in memory, for tests of the logic above the POP client (distributors,
// delivery points). It behaves as a POP3 maildrop does: deletions are only marked during a
// session and take effect when the session ends with Disconnect; a session that ends otherwise
// deletes nothing. Faults can be planted at given messages. Shared by name (the client's host),
// because clients are rebuilt from their rows; used on the test thread only.
struct MemoryMailbox {
    struct Message {
        std::string id;
        std::string text;
    };

    std::vector<Message> messages;
    // The download of this 0-based message fails (once) with Exception "connection dropped";
    // -1 for none.
    int failDownloadAt = -1;
    // The deletion fails with Exception "deletion refused"; false for none.
    bool failDeletion = false;
    // Connecting throws a std::logic_error, an error that is no Exception; false for none.
    bool failConnectOddly = false;
    // What the clients did, one word per call: "connect", "count", "id <i>", "get <i>",
    // "delete-all", "delete <i>" (one per index), "disconnect".
    std::vector<std::string> calls;
    // Called as the first deletion of a session is asked for, before it is marked; none when
    // empty.
    std::function<void()> beforeDeletion;
    // Sessions that ended without Disconnect.
    int abandonedSessions = 0;

    // The mailbox of `host`, made empty on first use.
    static MemoryMailbox& Of(const std::string& host);
    // Forgets every mailbox.
    static void ResetAll();
    // Appends a message with unique id `id`; returns its text.
    std::string Add(const std::string& id, const std::string& subject,
                    const std::string& from = "friend@example.com");
};

// The stored row of a MemoryPopClient ("PopClient" row of type kType).
class MemoryPopClientData : public DatabaseLayer::PopClientData {
public:
    static constexpr std::int32_t kType = 90;
    explicit MemoryPopClientData(const std::string& host)
        : PopClientData(kType, host, "user", "secret", 110, 30) {}
    explicit MemoryPopClientData(std::int64_t existingId) : PopClientData(existingId) {}
};

// A PopClient over the MemoryMailbox named by its host. Register() makes rows of kType load
// as this class.
class MemoryPopClient : public PopClient {
public:
    explicit MemoryPopClient(const std::string& host) : data(host) {}
    explicit MemoryPopClient(std::int64_t id) : data(id) {}
    ~MemoryPopClient() override;

    static void Register();

    void Connect() override;
    int GetMessageCount() override;
    void GetMessage(int index, Letter& letter) override;
    void ReceiveMessage(int index, Letter& letter) override;
    void DeleteAllMessages() override;
    void DeleteMessages(const std::vector<int>& indexes) override;
    void Disconnect() override;
    std::string GetMessageId(int index) override;
    DatabaseLayer::PopClientData& GetData() override { return data; }

private:
    MemoryMailbox& Mailbox() { return MemoryMailbox::Of(data.GetHostName()); }
    // Throws unless a session is open, as a real server would refuse the command.
    void RequireSession() const;
    const MemoryMailbox::Message& MessageAt(int index);

    MemoryPopClientData data;
    bool connected = false;
    int sessionCount = 0;
    // Indexes marked for deletion in this session.
    std::set<int> marked;
};

}  // namespace moxeltest
