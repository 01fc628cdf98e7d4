#pragma once

#include "popserver/LetterBoxProvider.h"

class PopPostOffice;

// The letter box of a protected account of the post office. A login stores the password the
// mail program sent for the real account, and protects an account the post office does not
// know yet. Used on one session thread; the post office outlives it.
class PostOfficeLetterBoxProvider : public LetterBoxProvider {
public:
    explicit PostOfficeLetterBoxProvider(PopPostOffice& postOfficeIn) : postOffice(postOfficeIn) {}

    // Throws Exception "Internal error: Unable to login: logout first" while a box is held,
    // "Invalid LetterBoxKey" for a user name that is no key, "Invalid letter box key" when the
    // account has no inbox. One transaction: a failure leaves no account behind.
    void Login(const std::string& userName, const std::string& password) override;
    void Logout() override { letterBox.reset(); }
    LetterBoxPtr GetLetterBox() override { return letterBox; }

private:
    PopPostOffice& postOffice;
    LetterBoxPtr letterBox;
};
