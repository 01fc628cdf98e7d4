#include "shell/integration/InstalledEmailClientEnumerator.h"

#include "core/Exception.h"
#include "shell/integration/GenericEmailClient.h"
#include "shell/integration/OutlookExpress.h"
#include "shell/integration/Thunderbird.h"

namespace EmailClientIntegration {

InstalledEmailClientEnumerator::InstalledEmailClientEnumerator(
    std::shared_ptr<Registry> registryIn,
    std::optional<std::vector<std::filesystem::path>> thunderbirdRootsIn)
    : registry(std::move(registryIn)),
      thunderbirdRoots(thunderbirdRootsIn ? std::move(*thunderbirdRootsIn)
                                          : Thunderbird::DefaultRoots()) {}

std::vector<EmailClientPtr> InstalledEmailClientEnumerator::Enumerate() const {
    std::vector<EmailClientPtr> clients;
    auto thunderbird = std::make_shared<Thunderbird>(registry, thunderbirdRoots);
    if (thunderbird->HasProfiles()) {
        clients.push_back(thunderbird);
    }
    auto store = std::make_shared<OutlookExpress>(registry);
    try {
        if (!store->EnumerateAccounts().empty()) {
            clients.push_back(store);
        }
    } catch (const Exception&) {
        // A damaged store: listed, so that choosing it shows what is wrong with the file.
        clients.push_back(store);
    }
    clients.push_back(std::make_shared<GenericEmailClient>());
    return clients;
}

}  // namespace EmailClientIntegration
