#include "shell/integration/ThunderbirdProfile.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace EmailClientIntegration {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsAlive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

std::vector<ThunderbirdProfile> ThunderbirdProfile::ReadProfilesIni(
    const std::filesystem::path& root) {
    std::vector<ThunderbirdProfile> profiles;
    std::ifstream in(root / "profiles.ini");
    struct Entry {
        std::string name;
        std::string path;
        bool relative = false;
    };
    std::optional<Entry> entry;
    auto finish = [&] {
        if (entry && !entry->path.empty()) {
            std::filesystem::path folder = entry->path;
            if (entry->relative || folder.is_relative()) {
                folder = root / folder;
            }
            profiles.push_back({entry->name, folder.lexically_normal()});
        }
        entry.reset();
    };
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.starts_with('[')) {
            finish();
            if (line.starts_with("[Profile")) {
                entry.emplace();
            }
            continue;
        }
        const auto equals = line.find('=');
        if (!entry || equals == std::string::npos) {
            continue;
        }
        const std::string key = Trim(line.substr(0, equals));
        const std::string value = Trim(line.substr(equals + 1));
        if (key == "Name") {
            entry->name = value;
        } else if (key == "Path") {
            entry->path = value;
        } else if (key == "IsRelative") {
            entry->relative = value == "1";
        }
    }
    finish();
    return profiles;
}

std::optional<std::string> ThunderbirdProfile::FindRunningThunderbird() const {
    const std::filesystem::path parentLock = folder / ".parentlock";
    const int fd = ::open(parentLock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct flock query {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        const bool asked = ::fcntl(fd, F_GETLK, &query) == 0;
        ::close(fd);
        if (asked && query.l_type != F_UNLCK) {
            return "process " + std::to_string(query.l_pid);
        }
    }
    // The older lock: a link to "address:+pid", left behind when Thunderbird crashed.
    std::error_code error;
    const auto target = std::filesystem::read_symlink(folder / "lock", error);
    if (!error) {
        const std::string text = target.string();
        const auto plus = text.rfind(":+");
        if (plus != std::string::npos) {
            try {
                const pid_t pid = static_cast<pid_t>(std::stol(text.substr(plus + 2)));
                if (IsAlive(pid)) {
                    return "process " + std::to_string(pid);
                }
            } catch (const std::exception&) {
                // Not a pid: not a lock Thunderbird made.
            }
        }
    }
    return std::nullopt;
}

}  // namespace EmailClientIntegration
