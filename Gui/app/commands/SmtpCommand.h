#pragma once

#include "app/commands/CommandTable.h"

// `moxel smtp` and `smtp set --server HOST[:PORT] [--auth none|login|pop] [--user NAME]
// [--pop-server HOST --pop-user NAME]`, `smtp test [ADDRESS]`: the outgoing server of the
// verification letters. The password of a login (SMTP or POP3) is the input; passwords are
// never printed.
void RunSmtpCommand(const CommandWords& words, CommandContext& context, CommandReply& reply);
// Whether the words set a login, which reads a password.
bool SmtpCommandWantsInput(const std::vector<std::string>& words);
