#include "shell/integration/OutlookExpressAccount.h"

#include "core/Exception.h"
#include "core/Format.h"

namespace EmailClientIntegration {

namespace {

constexpr const char* kDescription =
    "<table width='100%%' cellpadding=1 border=0><tr><td>POP3 Server</td><td> </td><td>%1%</td>"
    "</tr><tr><td>POP3 User Name</td><td> </td><td>%2%</td></tr><tr><td>Email Address</td>"
    "<td> </td><td>%3%</td></tr></table><br><font color=#FF4040>If Outlook Express is running "
    "please exit it before you click Next.</font>";

}  // namespace

OutlookExpressAccount::OutlookExpressAccount(std::shared_ptr<Registry> registryIn,
                                             std::string keyPathIn)
    : registry(std::move(registryIn)), keyPath(std::move(keyPathIn)) {}

std::string OutlookExpressAccount::GetName() const {
    return registry->GetTextValue(keyPath, kName);
}

std::string OutlookExpressAccount::GetDescription() const {
    return Format(kDescription, GetPop3Server(), GetPop3UserName(), GetEmailAddress());
}

void OutlookExpressAccount::SetPop3Server(const std::string& server) {
    registry->SetTextValue(keyPath, kServer, server);
}

std::string OutlookExpressAccount::GetPop3Server() const {
    return registry->GetTextValue(keyPath, kServer);
}

void OutlookExpressAccount::SetPop3UserName(const std::string& userName) {
    registry->SetTextValue(keyPath, kUserName, userName);
}

std::string OutlookExpressAccount::GetPop3UserName() const {
    return registry->GetTextValue(keyPath, kUserName);
}

void OutlookExpressAccount::SetEmailAddress(const std::string& address) {
    registry->SetTextValue(keyPath, kAddress, address);
}

std::string OutlookExpressAccount::GetEmailAddress() const {
    return registry->GetTextValue(keyPath, kAddress);
}

void OutlookExpressAccount::SetPop3Port(int port) {
    registry->SetNumberValue(keyPath, kPort, static_cast<std::uint32_t>(port));
}

int OutlookExpressAccount::GetPop3Port() const {
    if (!registry->ValueExists(keyPath, kPort)) {
        return 110;
    }
    return static_cast<int>(registry->GetNumberValue(keyPath, kPort));
}

void OutlookExpressAccount::WriteAll(const Values& wanted, const Values& before) {
    const bool written =
        registry->SetTextValue(keyPath, kUserName, wanted.userName) &&
        registry->SetTextValue(keyPath, kServer, wanted.server) &&
        registry->SetNumberValue(keyPath, kPort, static_cast<std::uint32_t>(wanted.port));
    if (written) {
        return;
    }
    const std::string reason = registry->GetLastError();
    registry->SetTextValue(keyPath, kUserName, before.userName);
    registry->SetTextValue(keyPath, kServer, before.server);
    registry->SetNumberValue(keyPath, kPort, static_cast<std::uint32_t>(before.port));
    throw Exception("The settings of the account could not be changed", Exception(reason));
}

void OutlookExpressAccount::SwitchToLocalServer(const LetterBoxKey& key, int localPort) {
    WriteAll({"localhost", key.ToString(), localPort},
             {GetPop3Server(), GetPop3UserName(), GetPop3Port()});
}

void OutlookExpressAccount::SwitchBack(const LetterBoxKey& key) {
    WriteAll({key.GetHost(), key.GetUserName(), 110},
             {GetPop3Server(), GetPop3UserName(), GetPop3Port()});
}

}  // namespace EmailClientIntegration
