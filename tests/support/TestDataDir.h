#pragma once

#include <filesystem>
#include <string>

namespace moxeltest {

// A fresh, empty folder under the system's temporary folder, removed with its contents when
// the object is destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// Points MOXEL_DATA_DIR of this process at a private temporary folder for the lifetime of the
// object, restoring the old value afterwards.
class ScopedDataDir {
public:
    ScopedDataDir();
    ~ScopedDataDir();
    const std::filesystem::path& Path() const { return dir.Path(); }

private:
    TempDir dir;
    bool hadOld = false;
    std::string old;
};

}  // namespace moxeltest
