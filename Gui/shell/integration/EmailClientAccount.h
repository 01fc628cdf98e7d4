#pragma once

#include <memory>
#include <string>

#include "database/LetterBoxKey.h"

namespace EmailClientIntegration {

// One POP3 account of a mail program, as the protection wizard shows and switches it. Used on
// the application thread; not shared between threads.
class EmailClientAccount {
public:
    virtual ~EmailClientAccount() = default;

    virtual std::string GetName() const = 0;
    // Shown for the selected account; may be mark-up.
    virtual std::string GetDescription() const = 0;

    virtual void SetPop3Server(const std::string& server) = 0;
    virtual std::string GetPop3Server() const = 0;
    virtual void SetPop3UserName(const std::string& userName) = 0;
    virtual std::string GetPop3UserName() const = 0;
    virtual void SetEmailAddress(const std::string& address) = 0;
    virtual std::string GetEmailAddress() const = 0;
    virtual void SetPop3Port(int port) = 0;
    virtual int GetPop3Port() const = 0;
    // True when Moxel rewrites the mail program's settings itself; false when the user types
    // them (the wizard then shows what to type).
    virtual bool CanBeChangedAutomatically() const = 0;

    // Throws Exception with the text to show when the account cannot be protected as it is
    // set up. By default only the standard POP3 port 110 is accepted.
    virtual void CheckCanBeProtected() const;
    // The account's key for the post office: the address, the POP3 user name and the POP3
    // server as they are now.
    virtual LetterBoxKey MakeKey(const std::string& emailAddress) const;
    // Points the account at the local server: the key's text as user name, "localhost" as
    // server, `localPort` as port. By default through the setters above; an account that
    // rewrites a file does it at once, all or nothing. Throws Exception with the reason.
    virtual void SwitchToLocalServer(const LetterBoxKey& key, int localPort);
    // Puts the account back on the real server of `key`: the key's user name and host, port
    // 110; other values are left alone. Throws Exception with the reason.
    virtual void SwitchBack(const LetterBoxKey& key);
};

using EmailClientAccountPtr = std::shared_ptr<EmailClientAccount>;

}  // namespace EmailClientIntegration
