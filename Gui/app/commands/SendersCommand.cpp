#include "app/commands/SendersCommand.h"

#include <algorithm>

#include "app/commands/JsonText.h"
#include "app/commands/TextChecks.h"
#include "postoffice/PopPostOffice.h"

namespace {

bool IsListed(SenderList& senders, const std::string& entry) {
    const auto entries = senders.GetEntries();
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

// An entry is compared as stored, so blanks or control characters would make one that never
// matches; an "@" with nothing before or after it matches nothing either.
bool IsWellFormedEntry(const std::string& entry) {
    const auto at = entry.find('@');
    return IsPrintableLine(entry) && entry.find(' ') == std::string::npos &&
           (at == std::string::npos || (at > 0 && at + 1 < entry.size()));
}

}  // namespace

void RunSendersCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    const auto& w = words.words;
    const bool list = w.empty();
    const bool add = w.size() == 2 && w[0] == "add";
    const bool remove = w.size() == 2 && w[0] == "remove";
    if ((!list && !add && !remove) || (words.json && !list)) {
        reply.BadUsage("usage: moxel senders [--json] | add ENTRY | remove ENTRY");
        return;
    }
    SenderList* senders = &context.GetPostOffice().GetApprovedSenders();
    if (list) {
        const auto entries = senders->GetEntries();
        if (words.json) {
            reply.out << JsonStringArray(entries) << "\n";
        }
        for (const auto& entry : words.json ? std::vector<std::string>() : entries) {
            reply.out << entry << "\n";
        }
        return;
    }
    const std::string& entry = w[1];
    if (!IsWellFormedEntry(entry)) {
        reply.Fail("'" + Printable(entry) + "' is neither an address (name@domain) nor a domain");
        return;
    }
    if (add) {
        if (senders->Contains(entry)) {
            reply.out << entry << " is already approved\n";
            return;
        }
        senders->Add(entry);
        reply.out << "Approved " << entry << "\n";
        return;
    }
    if (!IsListed(*senders, entry)) {
        reply.Fail(entry + " is not on the approved senders list");
        return;
    }
    senders->Remove(entry);
    reply.out << "Removed " << entry << "\n";
    if (senders->Contains(entry)) {
        reply.out << entry << " stays approved through its domain\n";
    }
}
