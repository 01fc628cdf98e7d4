#include "popserver/PostOfficeLetterBoxProvider.h"

#include "core/Exception.h"
#include "database/LetterBoxKey.h"
#include "database/Transaction.h"
#include "postoffice/PopPostOffice.h"

void PostOfficeLetterBoxProvider::Login(const std::string& userName, const std::string& password) {
    DatabaseLayer::Transaction transaction;
    if (letterBox) {
        throw Exception("Internal error: Unable to login: logout first");
    }
    // Registers the account or stores the new password; refuses texts with a NUL byte.
    postOffice.MailProgramLoggedIn(userName, password);
    const LetterBoxKey key = LetterBoxKey::Parse(userName);
    letterBox = postOffice.GetInbox(key);
}
