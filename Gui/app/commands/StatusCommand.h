#pragma once

#include "app/commands/CommandTable.h"

// `moxel status`: whether a copy runs, the accounts with their letters, the letters waiting to
// be sent, and the time and result of the running copy's last collection run.
void RunStatusCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);

// `moxel collect`: one collection run at once, waited for; fails when the run failed.
void RunCollectCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
