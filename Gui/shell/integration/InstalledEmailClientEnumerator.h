#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "shell/integration/EmailClient.h"
#include "shell/integration/Registry.h"

namespace EmailClientIntegration {

// The mail programs the wizard offers: Thunderbird when it has a profile, the settings store's
// mail program when the store holds accounts, then "Other" always. Used on the application
// thread.
class InstalledEmailClientEnumerator {
public:
    // `thunderbirdRoots`: the folders that may hold Thunderbird's profiles.ini; nullopt for the
    // usual places in the user's home (see Thunderbird::DefaultRoots).
    explicit InstalledEmailClientEnumerator(
        std::shared_ptr<Registry> registry,
        std::optional<std::vector<std::filesystem::path>> thunderbirdRoots = std::nullopt);

    // Never throws: a mail program whose settings cannot be read is listed when it may have
    // accounts, so that the wizard shows why they cannot be listed.
    std::vector<EmailClientPtr> Enumerate() const;

private:
    std::shared_ptr<Registry> registry;
    std::vector<std::filesystem::path> thunderbirdRoots;
};

}  // namespace EmailClientIntegration
