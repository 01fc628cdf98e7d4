#include "shell/integration/Integration.h"

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/AppPropertyCollection.h"

namespace EmailClientIntegration {

int GetLocalPopPort() {
    return GetAppProperties().GetPopPort();
}

bool IsIntegrated(const EmailClientAccount& account, int localPort) {
    return LetterBoxKey::IsValid(account.GetPop3UserName()) &&
           account.GetPop3Server() == "localhost" && account.GetPop3Port() == localPort;
}

bool IsIntegratedForKey(const EmailClientAccount& account, const LetterBoxKey& key, int localPort) {
    return IsIntegrated(account, localPort) && account.GetPop3UserName() == key.ToString();
}

IntegrationResult Integrate(EmailClientAccount& account, const std::string& emailAddress,
                            MoxelCore& core, int localPort) {
    if (IsIntegrated(account, localPort)) {
        throw Exception(kAlreadyProtected);
    }
    account.CheckCanBeProtected();
    const LetterBoxKey key = account.MakeKey(emailAddress);
    // The key is the user name at the local server: it must parse back into the same parts.
    if (!LetterBoxKey::IsValid(key.ToString()) || LetterBoxKey::Parse(key.ToString()) != key) {
        throw Exception(
            "The email address, the host name and the user name must all be filled in, and "
            "none of them may contain \"/\".");
    }
    account.SwitchToLocalServer(key, localPort);
    IntegrationResult result{key, false};
    try {
        if (!core.IsAccountRegistered(key)) {
            core.RegisterPlaceholderAccount(key);
            result.registeredKey = true;
        }
    } catch (const Exception& e) {
        // Without the account in the post office the mail program would fetch nothing.
        try {
            account.SwitchBack(key);
        } catch (const Exception& undo) {
            throw Exception("Moxel could not protect the account, nor put its settings back",
                            Exception(e.GetDescription(), undo));
        }
        throw;
    }
    return result;
}

void FinishIntegration(const IntegrationResult& result, MoxelCore& core) {
    if (result.registeredKey) {
        core.TurnPlaceholderDeliveryPointIntoPopPoint(result.key);
    }
}

void Restore(EmailClientAccount& account, const LetterBoxKey& key) {
    account.SwitchBack(key);
}

EmailClientAccountPtr FindAccountOfKey(const std::vector<EmailClientPtr>& clients,
                                       const LetterBoxKey& key, int localPort,
                                       std::vector<std::string>& problems) {
    for (const auto& client : clients) {
        try {
            for (const auto& account : client->EnumerateAccounts()) {
                if (IsIntegratedForKey(*account, key, localPort)) {
                    return account;
                }
            }
        } catch (const Exception& e) {
            problems.push_back(client->GetName() + ": " + e.GetDescription());
        }
    }
    return nullptr;
}

}  // namespace EmailClientIntegration
