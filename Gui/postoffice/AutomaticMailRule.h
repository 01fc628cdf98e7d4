#pragma once

#include <string>

#include "database/MessageText.h"

// Mail that no person will answer: a verification letter to it is wasted at best, and at worst
// starts a loop with another program's automatic answer or lands on a list. Such a letter is
// held like any other letter of a sender who is not approved; it only causes no verification
// letter. The whole rule, and its list, is here. Pure; any thread.
struct AutomaticMailVerdict {
    bool automatic = false;
    // Why, for the application log (headers named as the rule knows them, values made printable
    // and short); empty when the letter is not automatic.
    std::string reason;
};

// Judges a letter by its headers (every one, repeated ones included; names in any case) and its
// sender address (already lower case). Automatic (RFC 3834 and the usual list headers):
// "Auto-Submitted" other than "no"; "Precedence" of "bulk", "list" or "junk"; any "List-Id" or
// "List-Unsubscribe"; a sender whose local part is mailer-daemon, postmaster, noreply, no-reply,
// or begins with "owner-", or ends with "-request" or "-bounces".
AutomaticMailVerdict JudgeAutomaticMail(const HeaderFields& headers, const std::string& sender);
