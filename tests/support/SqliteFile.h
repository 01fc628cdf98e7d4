#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace moxeltest {

// Reads a database file directly with SQLite, as an outside observer of what the program
// stored. Throws std::runtime_error on failure.
std::vector<std::string> TableNames(const std::filesystem::path& database);
// Runs statements on the file from outside the program.
void ExecuteOn(const std::filesystem::path& database, const std::string& sql);
// The rows of a query, each column as text (NULL as "").
std::vector<std::vector<std::string>> QueryRows(const std::filesystem::path& database,
                                                const std::string& sql);
// The first column of the first row as text ("" when there is no row).
std::string QueryText(const std::filesystem::path& database, const std::string& sql);

}  // namespace moxeltest
