#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/integration/EmailClient.h"
#include "shell/integration/Registry.h"
#include "shell/integration/ThunderbirdProfile.h"

namespace EmailClientIntegration {

// Mozilla Thunderbird: the POP3 accounts of every profile that profiles.ini lists under the
// given roots. The settings store keeps the original settings of switched accounts. Used on the
// application thread.
class Thunderbird : public EmailClient {
public:
    // $MOXEL_THUNDERBIRD_DIR when set (one folder); else ~/.thunderbird,
    // ~/.mozilla/thunderbird and the snap package's ~/snap/thunderbird/common/.thunderbird.
    static std::vector<std::filesystem::path> DefaultRoots();

    Thunderbird(std::shared_ptr<Registry> registry, std::vector<std::filesystem::path> roots);

    // The profiles whose folder exists, each once.
    std::vector<ThunderbirdProfile> FindProfiles() const;
    bool HasProfiles() const { return !FindProfiles().empty(); }

    // The POP3 accounts of all profiles. A profile whose prefs.js cannot be read, or whose
    // folder is gone, is passed over and named in GetProblems(); never throws for one profile.
    std::vector<EmailClientAccountPtr> EnumerateAccounts() override;
    std::string GetName() const override;
    std::string GetDescription() const override;

    // What EnumerateAccounts could not read, as texts to show.
    const std::vector<std::string>& GetProblems() const { return problems; }

private:
    std::shared_ptr<Registry> registry;
    std::vector<std::filesystem::path> roots;
    std::vector<std::string> problems;
};

}  // namespace EmailClientIntegration
