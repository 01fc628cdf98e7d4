#include "support/LogFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace moxeltest {

namespace {

bool IsTimeStamp(const std::string& line) {
    if (line.size() < 9 || line[2] != ':' || line[5] != ':' || line[8] != '\t') {
        return false;
    }
    for (const int position : {0, 1, 3, 4, 6, 7}) {
        if (!std::isdigit(static_cast<unsigned char>(line[position]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> ReadLogLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << file << " ends without CR LF: " << text.substr(start);
            break;
        }
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare line feed in " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> ReadLogMessages(const std::filesystem::path& file) {
    std::vector<std::string> messages;
    for (const auto& line : ReadLogLines(file)) {
        if (!IsTimeStamp(line)) {
            ADD_FAILURE() << "no time stamp: " << line;
            continue;
        }
        messages.push_back(line.substr(9));
    }
    return messages;
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace moxeltest
