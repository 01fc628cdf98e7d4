#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/integration/EmailClientAccount.h"
#include "shell/integration/PrefsFile.h"
#include "shell/integration/Registry.h"
#include "shell/integration/ThunderbirdProfile.h"

namespace EmailClientIntegration {

// One POP3 account of a Thunderbird profile. The getters show the account as it was read; the
// setters change only those values (the wizard's fields); SwitchToLocalServer and SwitchBack
// rewrite the profile's prefs.js, keeping every line they do not change byte for byte, a backup
// of the file before the change, and the original lines in the settings store so that SwitchBack
// also works after a restart. Used on the application thread.
class ThunderbirdAccount : public EmailClientAccount {
public:
    // The account as prefs.js describes it.
    struct Settings {
        std::string accountId;  // "account1"
        std::string serverId;   // "server1"
        std::string name;
        std::string emailAddress;
        std::string server;  // the host Thunderbird connects to
        std::string userName;
        int port = 110;
        int socketType = 0;  // 0 plain, 2 STLS, 3 TLS from the start
    };

    // The POP3 accounts of the file, in the account manager's order.
    static std::vector<Settings> ReadAccounts(const PrefsFile& prefs);

    ThunderbirdAccount(std::shared_ptr<Registry> registry, ThunderbirdProfile profile,
                       Settings settings, bool showProfileName);

    std::string GetName() const override;
    std::string GetDescription() const override;
    void SetPop3Server(const std::string& server) override { settings.server = server; }
    std::string GetPop3Server() const override { return settings.server; }
    void SetPop3UserName(const std::string& userName) override { settings.userName = userName; }
    std::string GetPop3UserName() const override { return settings.userName; }
    void SetEmailAddress(const std::string& address) override { settings.emailAddress = address; }
    std::string GetEmailAddress() const override { return settings.emailAddress; }
    void SetPop3Port(int port) override { settings.port = port; }
    int GetPop3Port() const override { return settings.port; }
    bool CanBeChangedAutomatically() const override { return true; }

    // Any port and TLS mode is accepted; refused while Thunderbird runs with the profile.
    void CheckCanBeProtected() const override;
    // The host part carries the port when it is not 110: "pop.example.com:995".
    LetterBoxKey MakeKey(const std::string& emailAddress) const override;
    // Throws Exception, with prefs.js unchanged, when Thunderbird runs with the profile, the
    // account is gone from prefs.js, or a file cannot be written.
    void SwitchToLocalServer(const LetterBoxKey& key, int localPort) override;
    // Puts back the original lines kept by SwitchToLocalServer; without them (the settings
    // store was lost), the key's user name and host and the port from the key.
    void SwitchBack(const LetterBoxKey& key) override;

    const ThunderbirdProfile& GetProfile() const { return profile; }
    const std::string& GetServerId() const { return settings.serverId; }

private:
    // Where the original lines of this account are kept in the settings store.
    std::string OriginalsKey() const;
    void RefuseWhileRunning() const;
    // `content` of prefs.js, parsed; throws Exception when this account is no longer in it.
    PrefsFile ReadPrefs(const std::string& content) const;
    // Saves a backup of `before`, then writes `after` in place of prefs.js.
    void WritePrefs(const std::string& before, const std::string& after) const;

    std::shared_ptr<Registry> registry;
    ThunderbirdProfile profile;
    Settings settings;
    bool showProfileName;
};

}  // namespace EmailClientIntegration
