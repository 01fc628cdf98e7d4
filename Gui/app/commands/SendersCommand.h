#pragma once

#include "app/commands/CommandTable.h"

// `moxel senders`, `senders add ENTRY`, `senders remove ENTRY`: the approved senders of the
// post office's trusted sender list. An entry is a full address or a bare domain.
void RunSendersCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
