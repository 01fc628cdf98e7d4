#include "database/SenderList.h"

#include "database/Transaction.h"

using DatabaseLayer::Transaction;

namespace {

// The text after the first "@"; empty when there is none.
std::string DomainOf(const std::string& address) {
    const auto at = address.find('@');
    return at == std::string::npos ? std::string() : address.substr(at + 1);
}

}  // namespace

SenderList::SenderList() = default;

SenderList::SenderList(std::int64_t id) : data(id) {}

bool SenderList::Covers(const std::string& address) const {
    const auto& senders = data.GetSenders();
    return senders.Contains(address) || senders.Contains(DomainOf(address));
}

bool SenderList::Contains(const std::string& address) {
    Transaction transaction;
    return Covers(address);
}

void SenderList::Add(const std::string& address) {
    Transaction transaction;
    if (!Covers(address)) {
        data.GetSenders().Add(address);
    }
}

void SenderList::Remove(const std::string& address) {
    Transaction transaction;
    if (Covers(address)) {
        data.GetSenders().Remove(address);
    }
}

std::vector<std::string> SenderList::GetEntries() {
    Transaction transaction;
    std::vector<std::string> entries;
    const auto& senders = data.GetSenders();
    for (const auto id : senders.GetIds()) {
        if (const auto entry = senders.GetString(id)) {
            entries.push_back(entry->GetString());
        }
    }
    return entries;
}
