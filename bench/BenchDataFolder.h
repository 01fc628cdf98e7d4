#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

// A fresh folder under /tmp for one benchmark run, made the program's data folder
// (MOXEL_DATA_DIR points at its "data" subfolder) and removed with its contents at the end.
class BenchDataFolder {
public:
    BenchDataFolder() {
        char pattern[] = "/tmp/moxel-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("cannot create a folder under /tmp");
        }
        folder = pattern;
        ::setenv("MOXEL_DATA_DIR", (folder / "data").c_str(), 1);
    }
    ~BenchDataFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    BenchDataFolder(const BenchDataFolder&) = delete;
    BenchDataFolder& operator=(const BenchDataFolder&) = delete;

    const std::filesystem::path& Path() const { return folder; }

private:
    std::filesystem::path folder;
};
