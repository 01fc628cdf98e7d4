#include "core/Directories.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "core/Exception.h"
#include "core/Identity.h"
#include "core/PrivateFiles.h"

namespace fs = std::filesystem;

namespace {

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}

fs::path ChooseDataDirectory() {
    if (const char* overridden = NonEmptyEnv("MOXEL_DATA_DIR")) {
        return fs::path(overridden);
    }
    fs::path base;
    if (const char* xdg = NonEmptyEnv("XDG_DATA_HOME")) {
        base = xdg;
    } else if (const char* home = NonEmptyEnv("HOME")) {
        base = fs::path(home) / ".local" / "share";
    } else {
        throw Exception("Internal error in GetDataDirectory()",
                        Exception("Neither HOME nor XDG_DATA_HOME is set"));
    }
    return base / "Ostrand" / "Moxel";
}

}  // namespace

fs::path GetDataDirectory() {
    const fs::path directory = ChooseDataDirectory();
    std::error_code error;
    CreatePrivateDirectories(directory, error);
    if (error || !fs::is_directory(directory)) {
        const std::string reason = error ? error.message() : "it is not a folder";
        throw Exception(
            "Internal error in GetDataDirectory()",
            Exception("Cannot create the data folder " + directory.string() + ": " + reason));
    }
    return directory;
}

fs::path GetProgramDirectory() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        throw Exception("Internal error in GetProgramDirectory()", Exception(error.message()));
    }
    return executable.parent_path();
}

fs::path GetHelpDirectory() {
    return GetProgramDirectory() / "Help";
}

fs::path GetLogDirectory() {
    return GetDataDirectory() / "Logs";
}

fs::path GetDatabasePath() {
    return GetDataDirectory() / "moxel.db";
}

fs::path GetLetterStoreDirectory() {
    return GetDataDirectory() / "letters";
}

fs::path GetInstanceLockPath() {
    return GetDataDirectory() / (std::string(Identity::kApplicationId) + ".lock");
}

fs::path GetControlSocketPath() {
    return GetDataDirectory() / (std::string(Identity::kApplicationId) + ".sock");
}
