#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/SenderListData.h"

// The approved senders: full addresses and bare domains. An address is approved when the list
// holds it exactly or holds the text after its first "@"; texts are compared exactly as stored
// (no case folding, no trimming). Every operation is one transaction, so that a check and the
// change that follows it are not interleaved with another thread's change.
//
// One object per thread (the collection thread and the user interface thread each open their
// own over the same row); every operation may throw Exception on a database error.
class SenderList {
public:
    // A new, empty list; not persistent until SetPersistent(true).
    SenderList();
    // The existing list stored in `SenderList` row `id`.
    explicit SenderList(std::int64_t id);

    // True when `address` itself or its domain (after the first "@"; empty without one) is listed.
    bool Contains(const std::string& address);
    // Adds `address` unless Contains(address) already holds.
    void Add(const std::string& address);
    // Removes the entry equal to `address`. A domain entry that covers it stays, and so the
    // address stays approved.
    void Remove(const std::string& address);
    // Every entry, in the database's row order.
    std::vector<std::string> GetEntries();

    std::int64_t GetId() const { return data.GetId(); }
    void SetPersistent(bool value) { data.SetPersistent(value); }

private:
    bool Covers(const std::string& address) const;

    DatabaseLayer::SenderListData data;
};
