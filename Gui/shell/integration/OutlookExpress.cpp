#include "shell/integration/OutlookExpress.h"

#include "core/Exception.h"
#include "shell/integration/OutlookExpressAccount.h"

namespace EmailClientIntegration {

OutlookExpress::OutlookExpress(std::shared_ptr<Registry> registryIn)
    : registry(std::move(registryIn)) {}

std::vector<EmailClientAccountPtr> OutlookExpress::EnumerateAccounts() {
    std::vector<EmailClientAccountPtr> accounts;
    std::vector<std::string> names;
    if (!registry->GetSubKeyNames(kAccountsKey, names)) {
        // No accounts key is no accounts; a store that cannot be read is an error to show.
        if (const std::string error = registry->GetLastError(); !error.empty()) {
            throw Exception(error);
        }
        return accounts;
    }
    for (const auto& name : names) {
        const std::string path = std::string(kAccountsKey) + "\\" + name;
        // News and sending-only accounts have no POP3 values.
        if (registry->ValueExists(path, OutlookExpressAccount::kServer) &&
            registry->ValueExists(path, OutlookExpressAccount::kUserName)) {
            accounts.push_back(std::make_shared<OutlookExpressAccount>(registry, path));
        }
    }
    return accounts;
}

std::string OutlookExpress::GetName() const {
    return "Outlook Express";
}

std::string OutlookExpress::GetDescription() const {
    return "Microsoft Outlook Express version 5 or later.";
}

}  // namespace EmailClientIntegration
