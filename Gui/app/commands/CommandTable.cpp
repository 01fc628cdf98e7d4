#include "app/commands/CommandTable.h"

#include <algorithm>

#include "app/commands/AccountsCommand.h"
#include "app/commands/HeldCommand.h"
#include "app/commands/SendersCommand.h"
#include "app/commands/SettingsCommand.h"
#include "app/commands/SmtpCommand.h"
#include "app/commands/StatusCommand.h"
#include "core/Exception.h"

namespace {

using namespace std::chrono_literals;

bool NoInput(const std::vector<std::string>&) {
    return false;
}

// Editing rows waits at most for SQLite's busy time-out; a minute leaves room for a slow disk.
constexpr auto kEditDeadline = 60s;

// A settings test waits for the SMTP server, each call up to its time-out.
constexpr auto kSmtpDeadline = 10min;

// A collection may download large mailboxes from slow servers; the running copy gives up a
// minute before this, so that the client hears why.
constexpr auto kCollectDeadline = 30min;

const std::vector<CommandEntry> kCommands = {
    {"status", "  status [--json]             running or not, accounts, letters, the last run\n",
     true, NoInput, kEditDeadline, RunStatusCommand},
    {"collect",
     "  collect                     collect now and wait for the run (up to 30 minutes)\n", false,
     NoInput, kCollectDeadline, RunCollectCommand},
    {"accounts",
     "  accounts [--json]           list the protected accounts (KEY is ADDRESS/USER/HOST)\n"
     "  accounts add ADDRESS USER HOST[:PORT]\n"
     "                              protect an account; the password is read from standard\n"
     "                              input (asked for without echo on a terminal)\n"
     "  accounts remove KEY         stop protecting an account; its letters stay fetchable\n",
     true, AccountsCommandWantsInput, kEditDeadline, RunAccountsCommand},
    {"senders",
     "  senders [--json]            list the approved senders\n"
     "  senders add ENTRY           approve an address or a whole domain\n"
     "  senders remove ENTRY        take an entry off the approved senders\n",
     true, NoInput, kEditDeadline, RunSendersCommand},
    {"held",
     "  held [KEY] [--json]         list the letters held until their senders are approved\n"
     "  held release ID             deliver one held letter to its account's inbox\n"
     "  held approve ID             approve its sender: all the sender's held letters go to\n"
     "                              the inbox\n"
     "  held delete ID              delete one held letter\n",
     true, NoInput, kEditDeadline, RunHeldCommand},
    {"smtp",
     "  smtp [--json]               show the outgoing (SMTP) server of verification letters\n"
     "  smtp set --server HOST[:PORT] [--auth none|login|pop] [--user NAME]\n"
     "           [--pop-server HOST --pop-user NAME]\n"
     "                              change it; a login's password is read from standard input\n"
     "  smtp test [ADDRESS]         send a test letter from each protected address (and from\n"
     "                              ADDRESS) to ADDRESS, or else to the first of them\n",
     true, SmtpCommandWantsInput, kSmtpDeadline, RunSmtpCommand},
    {"settings",
     "  settings [--json]           list the settings with their values\n"
     "  settings get NAME           print one setting's value\n"
     "  settings set NAME VALUE     change a setting\n",
     true, NoInput, kEditDeadline, RunSettingsCommand},
};

}  // namespace

const std::vector<CommandEntry>& GetCommands() {
    return kCommands;
}

const CommandEntry* FindCommand(std::string_view verb) {
    const auto found =
        std::find_if(kCommands.begin(), kCommands.end(),
                     [verb](const CommandEntry& entry) { return entry.verb == verb; });
    return found == kCommands.end() ? nullptr : &*found;
}

platform::ControlReply RunCommand(const platform::ControlRequest& request,
                                  CommandContext& context) {
    CommandReply reply;
    const CommandEntry* entry = request.args.empty() ? nullptr : FindCommand(request.args.front());
    if (entry == nullptr) {
        reply.BadUsage("unknown command" +
                       (request.args.empty() ? std::string() : " '" + request.args.front() + "'"));
        return reply.Take();
    }
    CommandWords words;
    words.input = request.input;
    for (auto word = request.args.begin() + 1; word != request.args.end(); ++word) {
        if (*word == "--json") {
            words.json = true;
        } else {
            words.words.push_back(*word);
        }
    }
    if (words.json && !entry->listing) {
        reply.BadUsage(std::string("'") + entry->verb + "' has no --json output");
        return reply.Take();
    }
    try {
        entry->run(words, context, reply);
    } catch (const Exception& error) {
        reply.Fail(error.GetDescription());
    } catch (const std::exception& error) {
        reply.Fail(error.what());
    }
    return reply.Take();
}
