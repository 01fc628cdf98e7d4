#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A start-up step, run while the instance lock is held and before the database opens (SQLite
// gives its journal files the mode of the database file): makes a data folder that an older
// version or the user left open private again. Visits the folder, every entry directly in it
// (the database and its journals, the lock, the log and letter folders) and the log files;
// the letter files are not visited (there may be many thousands; the folders above them keep
// others out). Creates the letter store's folder privately when it is missing.
// Returns one line per change and per failure, for the application log. Never throws.
std::vector<std::string> MakeDataFolderPrivate(const std::filesystem::path& dataFolder,
                                               const std::filesystem::path& logFolder,
                                               const std::filesystem::path& letterFolder);
