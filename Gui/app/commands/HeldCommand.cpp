#include "app/commands/HeldCommand.h"

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <limits>

#include "app/commands/JsonText.h"
#include "app/commands/TextChecks.h"
#include "database/EncodedWords.h"
#include "postoffice/HeldMail.h"
#include "postoffice/PopPostOffice.h"

namespace {

constexpr const char* kUsage =
    "usage: moxel held [KEY] [--json] | release ID | approve ID | delete ID";

std::string TimeText(const boost::posix_time::ptime& time) {
    auto text = boost::posix_time::to_iso_extended_string(time);
    std::replace(text.begin(), text.end(), 'T', ' ');
    return text;
}

void PrintJson(const std::vector<HeldLetter>& letters, CommandReply& reply) {
    reply.out << "[";
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const auto& l = letters[i];
        reply.out << (i == 0 ? "" : ", ") << "{\"id\": " << l.id
                  << ", \"account\": " << JsonString(l.account)
                  << ", \"retrieved\": " << JsonString(TimeText(l.retrieved))
                  << ", \"sender\": " << JsonString(l.sender)
                  << ", \"subject\": " << JsonString(DecodeHeaderForDisplay(l.subject))
                  << ", \"size\": " << l.size << "}";
    }
    reply.out << "]\n";
}

void PrintText(const std::vector<HeldLetter>& letters, CommandReply& reply) {
    if (letters.empty()) {
        reply.out << "No held letters\n";
        return;
    }
    std::string account;
    for (const auto& l : letters) {
        if (l.account != account) {
            account = l.account;
            reply.out << account << "\n";
        }
        reply.out << "  " << l.id << "  " << TimeText(l.retrieved) << "  "
                  << (l.sender.empty() ? "(no sender)" : Printable(l.sender)) << "  \""
                  << DecodeHeaderForDisplay(l.subject) << "\"  " << l.size << " bytes\n";
    }
}

void List(HeldMail& held, const CommandWords& words, CommandReply& reply) {
    std::optional<LetterBoxKey> account;
    if (!words.words.empty()) {
        const std::string& text = words.words[0];
        if (!IsPrintableLine(text) || !LetterBoxKey::IsValid(text)) {
            reply.Fail("'" + Printable(text) + "' is not an account key (ADDRESS/USER/HOST)");
            return;
        }
        account = LetterBoxKey::Parse(text);
    }
    const auto letters = held.List(account);
    if (words.json) {
        PrintJson(letters, reply);
    } else {
        PrintText(letters, reply);
    }
}

}  // namespace

void RunHeldCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    const auto& w = words.words;
    const bool action =
        w.size() == 2 && (w[0] == "release" || w[0] == "approve" || w[0] == "delete");
    if (w.size() > 2 || (w.size() == 2 && !action) || (words.json && action)) {
        reply.BadUsage(kUsage);
        return;
    }
    HeldMail held(context.GetPostOffice());
    if (!action) {
        List(held, words, reply);
        return;
    }
    const auto id = ParseNumber(w[1], 1, std::numeric_limits<std::int64_t>::max());
    if (!id) {
        reply.Fail("'" + Printable(w[1]) + "' is not a letter id; 'moxel held' lists them");
        return;
    }
    if (w[0] == "release") {
        const auto letter = held.Release(*id);
        reply.out << "Released " << *id << " to the inbox of " << letter.account << "\n";
    } else if (w[0] == "approve") {
        const auto approval = held.ApproveSender(*id);
        reply.out << "Approved " << Printable(approval.sender) << "; " << approval.released
                  << " held letter(s) released to the inbox\n";
    } else {
        held.Delete(*id);
        reply.out << "Deleted " << *id << "\n";
    }
}
