#include "shell/integration/Thunderbird.h"

#include <cstdlib>
#include <set>

#include "core/Exception.h"
#include "shell/integration/AtomicFile.h"
#include "shell/integration/PrefsFile.h"
#include "shell/integration/ThunderbirdAccount.h"

namespace EmailClientIntegration {

std::vector<std::filesystem::path> Thunderbird::DefaultRoots() {
    if (const char* own = std::getenv("MOXEL_THUNDERBIRD_DIR"); own != nullptr && *own != '\0') {
        return {own};
    }
    const char* homeText = std::getenv("HOME");
    const std::filesystem::path home = homeText != nullptr ? homeText : "";
    return {home / ".thunderbird", home / ".mozilla" / "thunderbird",
            home / "snap" / "thunderbird" / "common" / ".thunderbird"};
}

Thunderbird::Thunderbird(std::shared_ptr<Registry> registryIn,
                         std::vector<std::filesystem::path> rootsIn)
    : registry(std::move(registryIn)), roots(std::move(rootsIn)) {}

std::vector<ThunderbirdProfile> Thunderbird::FindProfiles() const {
    std::vector<ThunderbirdProfile> found;
    std::set<std::filesystem::path> seen;
    for (const auto& root : roots) {
        for (auto& profile : ThunderbirdProfile::ReadProfilesIni(root)) {
            std::error_code error;
            const auto real = std::filesystem::weakly_canonical(profile.folder, error);
            if (!error && std::filesystem::is_directory(real, error) && seen.insert(real).second) {
                found.push_back(std::move(profile));
            }
        }
    }
    return found;
}

std::vector<EmailClientAccountPtr> Thunderbird::EnumerateAccounts() {
    problems.clear();
    std::vector<EmailClientAccountPtr> accounts;
    for (const auto& root : roots) {
        for (const auto& profile : ThunderbirdProfile::ReadProfilesIni(root)) {
            std::error_code error;
            if (!std::filesystem::is_directory(profile.folder, error)) {
                problems.push_back("The Thunderbird profile \"" + profile.name + "\" (" +
                                   profile.folder.string() + ") no longer exists.");
            }
        }
    }
    const std::vector<ThunderbirdProfile> profiles = FindProfiles();
    for (const auto& profile : profiles) {
        std::error_code error;
        if (!std::filesystem::exists(profile.PrefsPath(), error)) {
            continue;  // a profile Thunderbird has not started with yet has no accounts
        }
        try {
            const PrefsFile prefs(ReadWholeFile(profile.PrefsPath()));
            for (auto& settings : ThunderbirdAccount::ReadAccounts(prefs)) {
                accounts.push_back(std::make_shared<ThunderbirdAccount>(
                    registry, profile, std::move(settings), profiles.size() > 1));
            }
        } catch (const Exception& e) {
            problems.push_back(e.GetDescription());
        }
    }
    return accounts;
}

std::string Thunderbird::GetName() const {
    return "Thunderbird";
}

std::string Thunderbird::GetDescription() const {
    return "Mozilla Thunderbird. Moxel changes the account's settings itself; Thunderbird then "
           "asks once for the account's password.";
}

}  // namespace EmailClientIntegration
