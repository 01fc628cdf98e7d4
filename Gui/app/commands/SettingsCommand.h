#pragma once

#include "app/commands/CommandTable.h"

// `moxel settings`, `settings get NAME`, `settings set NAME VALUE`: the application properties
// a person may change, each checked against its kind before it is stored.
void RunSettingsCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
