#pragma once

#include "app/commands/CommandTable.h"

// `moxel accounts`, `accounts add ADDRESS USER HOST[:PORT]` (the password is the input),
// `accounts remove KEY`: the protected POP3 accounts.
void RunAccountsCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
// Whether the words ask for `accounts add`, which reads a password.
bool AccountsCommandWantsInput(const std::vector<std::string>& words);

// The accounts as the listing commands print them (shared with `moxel status`): a JSON array
// without a line end, or one line per account after `indent`.
void PrintAccounts(PopPostOffice& postOffice, bool json, CommandReply& reply,
                   const char* indent = "");
