#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace EmailClientIntegration {

// One Thunderbird profile as profiles.ini names it. A plain value; any thread.
struct ThunderbirdProfile {
    std::string name;
    std::filesystem::path folder;

    std::filesystem::path PrefsPath() const { return folder / "prefs.js"; }

    // The profiles listed in `root`/profiles.ini, in its order; none when the file is missing.
    // Paths are made absolute against `root` when the entry says IsRelative=1.
    static std::vector<ThunderbirdProfile> ReadProfilesIni(const std::filesystem::path& root);

    // Whether a running Thunderbird holds the profile: the fcntl lock it keeps on ".parentlock",
    // or a "lock" symbolic link naming a live process. A process that holds the lock is named in
    // the result; nullopt when the profile is free.
    std::optional<std::string> FindRunningThunderbird() const;
};

}  // namespace EmailClientIntegration
