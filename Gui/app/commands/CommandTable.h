#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands/CommandContext.h"
#include "app/commands/CommandReply.h"
#include "platform/ControlFrame.h"

// The words of one command after its verb, and what the client read for it from its standard
// input (a password; empty when the command reads none).
struct CommandWords {
    std::vector<std::string> words;
    bool json = false;
    std::string input;
};

// One verb of the command line. The same table serves the help text, the client (which input
// to read, how long to wait) and both places that carry the command out.
struct CommandEntry {
    const char* verb;
    // The lines of `moxel --help` for this verb.
    const char* help;
    // Whether --json is accepted.
    bool listing;
    // Whether the command reads a password from standard input, given its words.
    bool (*wantsInput)(const std::vector<std::string>& words);
    // How long the client waits for the running copy's answer.
    std::chrono::seconds replyDeadline;
    void (*run)(const CommandWords& words, CommandContext& context, CommandReply& reply);
};

const std::vector<CommandEntry>& GetCommands();
// The command of `verb`, or nullptr.
const CommandEntry* FindCommand(std::string_view verb);

// Carries out `request` (its first word the verb) on the calling thread, which has called
// InitializeThreadData. Never throws: every failure is in the reply.
platform::ControlReply RunCommand(const platform::ControlRequest& request, CommandContext& context);
