#pragma once

#include <memory>

#include "shell/integration/EmailClient.h"
#include "shell/integration/Registry.h"

namespace EmailClientIntegration {

// The mail program whose accounts live in the settings store under
// "Software\Microsoft\Internet Account Manager\Accounts", one sub-key per account. Used on the
// application thread.
class OutlookExpress : public EmailClient {
public:
    static constexpr const char* kAccountsKey =
        "Software\\Microsoft\\Internet Account Manager\\Accounts";

    explicit OutlookExpress(std::shared_ptr<Registry> registry);

    // The sub-keys that hold both "POP3 Server" and "POP3 User Name", in the store's order.
    // Throws Exception when the store exists but cannot be read.
    std::vector<EmailClientAccountPtr> EnumerateAccounts() override;
    std::string GetName() const override;
    std::string GetDescription() const override;

private:
    std::shared_ptr<Registry> registry;
};

}  // namespace EmailClientIntegration
