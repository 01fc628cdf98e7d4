#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace moxeltest {

// The lines of a log file, split at CR LF. Fails the calling test (and returns what it could
// read) when the file ends without a line end or holds a bare line feed.
std::vector<std::string> ReadLogLines(const std::filesystem::path& file);

// The message part of each line (after the "HH:MM:SS<tab>" time stamp). Fails the calling test
// when a line does not start with such a stamp.
std::vector<std::string> ReadLogMessages(const std::filesystem::path& file);

// The names of the files in `folder`, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);

}  // namespace moxeltest
