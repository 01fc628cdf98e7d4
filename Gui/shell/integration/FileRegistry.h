#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "shell/integration/Registry.h"

namespace EmailClientIntegration {

// The settings store kept in one private file (0600) of the user's config folder. Every
// operation reads the file anew, so that a change by another copy of the program is seen, and
// every change rewrites it atomically. A file that is damaged or cut short is never overwritten:
// reads find nothing and writes fail, with GetLastError() saying what is wrong with which file.
// Any thread; the object serialises its own operations, and a lock file beside the store keeps
// the read-modify-write of two processes apart.
class FileRegistry : public Registry {
public:
    // The store's file in the user's config folder: $MOXEL_CONFIG_DIR when set, else
    // "$XDG_CONFIG_HOME/Ostrand/Moxel" (or "~/.config/Ostrand/Moxel"), joined with "registry".
    static std::filesystem::path DefaultPath();

    explicit FileRegistry(std::filesystem::path file = DefaultPath());

    bool GetSubKeyNames(const std::string& keyPath, std::vector<std::string>& names) override;
    bool ValueExists(const std::string& keyPath, const std::string& valueName) override;
    std::string GetTextValue(const std::string& keyPath, const std::string& valueName) override;
    bool SetTextValue(const std::string& keyPath, const std::string& valueName,
                      const std::string& text) override;
    std::uint32_t GetNumberValue(const std::string& keyPath, const std::string& valueName) override;
    bool SetNumberValue(const std::string& keyPath, const std::string& valueName,
                        std::uint32_t number) override;
    bool DeleteValue(const std::string& keyPath, const std::string& valueName) override;
    std::string GetLastError() const override;

    const std::filesystem::path& GetPath() const { return file; }

    using Value = std::variant<std::string, std::uint32_t>;
    // Key path (without leading or trailing "\") to its values by name.
    using Tree = std::map<std::string, std::map<std::string, Value>>;

private:
    // The stored tree; nullopt, with lastError set, when the file cannot be read or is damaged.
    std::optional<Tree> Load();
    // Applies `change` to the stored tree and writes it back; false, with lastError set, when
    // the file could not be read or written.
    template <typename Change>
    bool Modify(Change change);

    std::filesystem::path file;
    mutable std::mutex mutex;
    std::string lastError;  // guarded by mutex
};

}  // namespace EmailClientIntegration
