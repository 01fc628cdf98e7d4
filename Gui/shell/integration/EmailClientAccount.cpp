#include "shell/integration/EmailClientAccount.h"

#include "core/Exception.h"

namespace EmailClientIntegration {

void EmailClientAccount::CheckCanBeProtected() const {
    if (GetPop3Port() != 110) {
        throw Exception("Current version supports only default POP3 port (110)");
    }
}

LetterBoxKey EmailClientAccount::MakeKey(const std::string& emailAddress) const {
    return LetterBoxKey(emailAddress, GetPop3UserName(), GetPop3Server());
}

void EmailClientAccount::SwitchToLocalServer(const LetterBoxKey& key, int localPort) {
    SetPop3UserName(key.ToString());
    SetPop3Server("localhost");
    SetPop3Port(localPort);
}

void EmailClientAccount::SwitchBack(const LetterBoxKey& key) {
    SetPop3UserName(key.GetUserName());
    SetPop3Server(key.GetHost());
    SetPop3Port(110);
}

}  // namespace EmailClientIntegration
