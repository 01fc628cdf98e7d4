#pragma once

#include <filesystem>
#include <string>

namespace moxeltest {

// The letter store folder of the current data folder, as the program lays it out.
std::filesystem::path LetterStoreRoot();
// Files below the letter store of the current data folder (0 when there is no store).
int CountStoreFiles();
// The content of one store file, read directly.
std::string ReadStoreFile(const std::string& handle);

}  // namespace moxeltest
