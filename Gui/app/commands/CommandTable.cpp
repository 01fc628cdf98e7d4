#include "app/commands/CommandTable.h"

#include <algorithm>

#include "app/commands/SendersCommand.h"
#include "app/commands/SettingsCommand.h"
#include "core/Exception.h"

namespace {

using namespace std::chrono_literals;

bool NoInput(const std::vector<std::string>&) {
    return false;
}

// Editing rows waits at most for SQLite's busy time-out; a minute leaves room for a slow disk.
constexpr auto kEditDeadline = 60s;

const std::vector<CommandSpec> kCommands = {
    {"senders",
     "  senders [--json]            list the approved senders\n"
     "  senders add ENTRY           approve an address or a whole domain\n"
     "  senders remove ENTRY        take an entry off the approved senders\n",
     true, NoInput, kEditDeadline, RunSendersCommand},
    {"settings",
     "  settings [--json]           list the settings with their values\n"
     "  settings get NAME           print one setting's value\n"
     "  settings set NAME VALUE     change a setting\n",
     true, NoInput, kEditDeadline, RunSettingsCommand},
};

}  // namespace

const std::vector<CommandSpec>& GetCommands() {
    return kCommands;
}

const CommandSpec* FindCommand(std::string_view verb) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [verb](const CommandSpec& spec) { return spec.verb == verb; });
    return found == kCommands.end() ? nullptr : &*found;
}

platform::ControlReply RunCommand(const platform::ControlRequest& request,
                                  CommandContext& context) {
    CommandReply reply;
    const CommandSpec* spec = request.args.empty() ? nullptr : FindCommand(request.args.front());
    if (spec == nullptr) {
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
    if (words.json && !spec->listing) {
        reply.BadUsage(std::string("'") + spec->verb + "' has no --json output");
        return reply.Take();
    }
    try {
        spec->run(words, context, reply);
    } catch (const Exception& error) {
        reply.Fail(error.GetDescription());
    } catch (const std::exception& error) {
        reply.Fail(error.what());
    }
    return reply.Take();
}
