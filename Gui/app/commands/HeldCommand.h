#pragma once

#include "app/commands/CommandTable.h"

// `moxel held [KEY] [--json]`, `held release ID`, `held approve ID`, `held delete ID`: review of
// the letters held because their senders are not approved (HeldMail).
void RunHeldCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
