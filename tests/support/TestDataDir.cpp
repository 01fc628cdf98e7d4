#include "support/TestDataDir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace moxeltest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "moxel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

ScopedDataDir::ScopedDataDir() {
    if (const char* value = std::getenv("MOXEL_DATA_DIR")) {
        hadOld = true;
        old = value;
    }
    ::setenv("MOXEL_DATA_DIR", dir.Path().c_str(), 1);
}

ScopedDataDir::~ScopedDataDir() {
    if (hadOld) {
        ::setenv("MOXEL_DATA_DIR", old.c_str(), 1);
    } else {
        ::unsetenv("MOXEL_DATA_DIR");
    }
}

}  // namespace moxeltest
