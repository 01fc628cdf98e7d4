#pragma once

#include <string>

#include "database/LetterTypes.h"

// Where a mail drop gets its letter box from: the login of a mail program names an account and
// hands over its password. Used on one session thread.
class LetterBoxProvider {
public:
    virtual ~LetterBoxProvider() = default;
    // Prepares the box of the account named by `userName`; throws Exception on failure.
    virtual void Login(const std::string& userName, const std::string& password) = 0;
    // Forgets the box; does nothing when none is held.
    virtual void Logout() = 0;
    // The box held since Login, or null when logged out.
    virtual LetterBoxPtr GetLetterBox() = 0;
};
