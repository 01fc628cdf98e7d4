#pragma once

#include <string>
#include <vector>

#include "database/LetterBoxKey.h"
#include "shell/integration/EmailClient.h"

class MoxelCore;

// Switching a mail program's account to the local POP3 server and back, and finding the account
// of a protected key. Used on the application thread (the wizard and the removal dialog).
namespace EmailClientIntegration {

inline constexpr const char* kAlreadyProtected =
    "This account is already protected by Moxel. Please choose another account.";

// The local server's port: the setting "PopPort", 110 when it is empty.
int GetLocalPopPort();

// Whether the account fetches from the local server: its user name is a letter box key, its
// server is exactly "localhost" and its port is `localPort`.
bool IsIntegrated(const EmailClientAccount& account, int localPort);
// Integrated, with the key's text as the account's user name.
bool IsIntegratedForKey(const EmailClientAccount& account, const LetterBoxKey& key, int localPort);

struct IntegrationResult {
    LetterBoxKey key;
    // This integration registered the key; the wizard turns it into a working account when it
    // closes (FinishIntegration).
    bool registeredKey = false;
};

// Protects the account: checks that it can be (not yet protected, its port accepted, a complete
// key), switches it to the local server and registers a placeholder account with the post
// office unless the key is registered already. Throws Exception with the text to show; the
// account is then as it was.
IntegrationResult Integrate(EmailClientAccount& account, const std::string& emailAddress,
                            MoxelCore& core, int localPort);
// When the wizard closes: an integration that registered its key makes it a POP3 account.
void FinishIntegration(const IntegrationResult& result, MoxelCore& core);

// Puts the account back on the real server of `key`. Throws Exception with the reason.
void Restore(EmailClientAccount& account, const LetterBoxKey& key);

// The first account of all the programs that is integrated for `key`; null when none is.
// A program whose accounts cannot be read is passed over, its reason added to `problems`.
EmailClientAccountPtr FindAccountOfKey(const std::vector<EmailClientPtr>& clients,
                                       const LetterBoxKey& key, int localPort,
                                       std::vector<std::string>& problems);

}  // namespace EmailClientIntegration
