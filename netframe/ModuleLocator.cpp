#include "netframe/ModuleLocator.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace netframe {

std::string OwnFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || !info.dli_fname) {
        return {};
    }
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

std::string LocateModule(const char* fileName, const char* overrideVariable) {
    if (const char* chosen = std::getenv(overrideVariable); chosen && *chosen) {
        return chosen;
    }
    const std::string folder = OwnFolder();
    return folder.empty() ? std::string(fileName)
                          : (std::filesystem::path(folder) / fileName).string();
}

}  // namespace netframe
