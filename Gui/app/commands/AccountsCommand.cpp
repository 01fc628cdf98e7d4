#include "app/commands/AccountsCommand.h"

#include <algorithm>

#include "app/commands/JsonText.h"
#include "app/commands/TextChecks.h"
#include "core/Exception.h"
#include "database/AppPropertyCollection.h"
#include "postoffice/PopPostOffice.h"
#include "postoffice/UpstreamServer.h"

namespace {

// Why the parts cannot make a key, or the empty text. The key's text is also the user name the
// mail program sends, so every part is one printable line, and "/" separates them.
std::string KeyProblem(const std::string& address, const std::string& user,
                       const std::string& host) {
    if (!IsPrintableLine(address) || address.find('/') != std::string::npos ||
        address.find('@') == std::string::npos) {
        return "'" + Printable(address) + "' is not an e-mail address";
    }
    if (!IsPrintableLine(user) || user.find('/') != std::string::npos) {
        return "'" + Printable(user) + "' cannot be a user name (one line, no '/')";
    }
    if (!IsPrintableLine(host) || host.find('/') != std::string::npos) {
        return "'" + Printable(host) + "' is not a host name";
    }
    try {
        UpstreamServer::Parse(host);
    } catch (const Exception& error) {
        return error.GetDescription() + " (the port must be a number from 1 to 65535)";
    }
    return "";
}

// The key of `text` when it names a protected account; otherwise fails the reply.
std::optional<LetterBoxKey> FindAccount(PopPostOffice& postOffice, const std::string& text,
                                        CommandReply& reply) {
    if (!IsPrintableLine(text) || !LetterBoxKey::IsValid(text)) {
        reply.Fail("'" + Printable(text) + "' is not an account key (ADDRESS/USER/HOST)");
        return std::nullopt;
    }
    const auto key = LetterBoxKey::Parse(text);
    if (!postOffice.IsAccountRegistered(key)) {
        reply.Fail("no account " + text + "; 'moxel accounts' lists them");
        return std::nullopt;
    }
    return key;
}

void Add(PopPostOffice& postOffice, const std::vector<std::string>& w, const std::string& password,
         CommandReply& reply) {
    if (const auto problem = KeyProblem(w[1], w[2], w[3]); !problem.empty()) {
        reply.Fail(problem);
        return;
    }
    if (password.empty()) {
        reply.Fail("the password is empty; give it on standard input");
        return;
    }
    if (!IsPrintableLine(password)) {
        reply.Fail("the password holds control characters");
        return;
    }
    const LetterBoxKey key(w[1], w[2], w[3]);
    if (postOffice.IsAccountRegistered(key)) {
        reply.Fail(key.ToString() + " is already protected");
        return;
    }
    postOffice.RegisterPopAccount(key, password);
    reply.out << "Protected " << key.ToString() << "\n"
              << "Mail program: POP3 server localhost, port " << GetAppProperties().GetPopPort()
              << ", user name " << key.ToString() << ", the account's password\n";
}

void Remove(PopPostOffice& postOffice, const std::string& text, CommandReply& reply) {
    const auto key = FindAccount(postOffice, text, reply);
    if (!key) {
        return;
    }
    // Held and recent letters go to the inbox of a placeholder that keeps the key: the mail
    // program can still fetch them, and nothing is downloaded for the account any more.
    postOffice.PrepareDeliveryPointForUnregistration(*key);
    int waiting = 0;
    for (const auto& status : postOffice.GetAccountStatuses()) {
        if (status.key == *key) {
            waiting = status.inbox + status.held;
        }
    }
    if (waiting == 0) {
        postOffice.UnregisterAccount(*key);
        reply.out << "Removed " << key->ToString() << "\n";
        return;
    }
    reply.out << "Stopped collecting for " << key->ToString() << "; " << waiting
              << " letters still wait for the mail program. Remove the account again once it "
                 "has fetched them.\n";
}

}  // namespace

void PrintAccounts(PopPostOffice& postOffice, bool json, CommandReply& reply, const char* indent) {
    const auto statuses = postOffice.GetAccountStatuses();
    if (json) {
        reply.out << "[";
        for (std::size_t i = 0; i < statuses.size(); ++i) {
            const auto& s = statuses[i];
            reply.out << (i == 0 ? "" : ", ") << "{\"key\": " << JsonString(s.key.ToString())
                      << ", \"address\": " << JsonString(s.key.GetAddress())
                      << ", \"user\": " << JsonString(s.key.GetUserName())
                      << ", \"host\": " << JsonString(s.key.GetHost())
                      << ", \"collected\": " << (s.placeholder ? "false" : "true")
                      << ", \"inbox\": " << s.inbox << ", \"held\": " << s.held << "}";
        }
        reply.out << "]";
        return;
    }
    for (const auto& s : statuses) {
        reply.out << indent << s.key.ToString() << "  inbox " << s.inbox << ", held " << s.held
                  << (s.placeholder ? ", not collected (removed, or no password yet)" : "") << "\n";
    }
}

bool AccountsCommandWantsInput(const std::vector<std::string>& words) {
    return words.size() == 4 && words[0] == "add";
}

void RunAccountsCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    const auto& w = words.words;
    const bool list = w.empty();
    const bool add = AccountsCommandWantsInput(w);
    const bool remove = w.size() == 2 && w[0] == "remove";
    if ((!list && !add && !remove) || (words.json && !list)) {
        reply.BadUsage(
            "usage: moxel accounts [--json] | add ADDRESS USER HOST[:PORT] | remove KEY");
        return;
    }
    auto& postOffice = context.GetPostOffice();
    if (list) {
        PrintAccounts(postOffice, words.json, reply);
        if (words.json) {
            reply.out << "\n";
        }
    } else if (add) {
        Add(postOffice, w, words.input, reply);
    } else {
        Remove(postOffice, w[1], reply);
    }
}
