#include "support/LetterStoreFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace moxeltest {

fs::path LetterStoreRoot() {
    const char* data = std::getenv("MOXEL_DATA_DIR");
    if (data == nullptr) {
        throw std::runtime_error("MOXEL_DATA_DIR is not set");
    }
    return fs::path(data) / "letters";
}

int CountStoreFiles() {
    const fs::path root = LetterStoreRoot();
    if (!fs::exists(root)) {
        return 0;
    }
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

std::string ReadStoreFile(const std::string& handle) {
    std::ifstream in(LetterStoreRoot() / handle, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace moxeltest
