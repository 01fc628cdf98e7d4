#include "shell/dialogs/senders/SenderListEdit.h"

#include <algorithm>

#include "database/SenderList.h"
#include "database/Transaction.h"
#include "database/TrimWhiteSpace.h"

SenderListEdit::SenderListEdit(std::vector<std::string> initial) : entries(std::move(initial)) {}

bool SenderListEdit::IsListed(const std::string& entry) const {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

std::string SenderListEdit::Add(const std::string& text) {
    const std::string entry(TrimWhiteSpace(text));
    if (entry.empty()) {
        return kEmpty;
    }
    if (IsListed(entry)) {
        return kExists;
    }
    entries.push_back(entry);
    commands.push_back({true, entry});
    return {};
}

std::string SenderListEdit::Remove(const std::string& text) {
    const std::string entry(TrimWhiteSpace(text));
    if (!IsListed(entry)) {
        return kAbsent;
    }
    entries.erase(std::find(entries.begin(), entries.end(), entry));
    commands.push_back({false, entry});
    return {};
}

void SenderListEdit::Apply(SenderList& stored) const {
    DatabaseLayer::Transaction transaction;
    for (const auto& command : commands) {
        if (command.add) {
            stored.Add(command.entry);
        } else {
            stored.Remove(command.entry);
        }
    }
}
