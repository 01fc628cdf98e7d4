#pragma once

#include <memory>
#include <string>

#include "shell/integration/EmailClientAccount.h"
#include "shell/integration/Registry.h"

namespace EmailClientIntegration {

// One account of the settings store's mail program: every get and set reads or writes one value
// under the account's key. Used on the application thread.
class OutlookExpressAccount : public EmailClientAccount {
public:
    static constexpr const char* kName = "Account Name";
    static constexpr const char* kServer = "POP3 Server";
    static constexpr const char* kUserName = "POP3 User Name";
    static constexpr const char* kAddress = "SMTP Email Address";
    static constexpr const char* kPort = "POP3 Port";

    OutlookExpressAccount(std::shared_ptr<Registry> registry, std::string keyPath);

    std::string GetName() const override;
    std::string GetDescription() const override;
    void SetPop3Server(const std::string& server) override;
    std::string GetPop3Server() const override;
    void SetPop3UserName(const std::string& userName) override;
    std::string GetPop3UserName() const override;
    void SetEmailAddress(const std::string& address) override;
    std::string GetEmailAddress() const override;
    void SetPop3Port(int port) override;
    // 110 when the value is missing.
    int GetPop3Port() const override;
    bool CanBeChangedAutomatically() const override { return true; }

    // Writes the three values; when one cannot be written, the ones already written are put
    // back and Exception says why.
    void SwitchToLocalServer(const LetterBoxKey& key, int localPort) override;
    void SwitchBack(const LetterBoxKey& key) override;

    const std::string& GetKeyPath() const { return keyPath; }

private:
    struct Values {
        std::string server;
        std::string userName;
        int port;
    };
    // Writes all three or, failing, restores `before` and throws.
    void WriteAll(const Values& wanted, const Values& before);

    std::shared_ptr<Registry> registry;
    std::string keyPath;
};

}  // namespace EmailClientIntegration
