#pragma once

#include <map>
#include <string>
#include <vector>

namespace moxeltest {

// What a trial found stored: subject -> the texts of the letters carrying it.
using StoredTexts = std::map<std::string, std::vector<std::string>>;

// Expects every message of `expected` (subject -> whole text) stored exactly once with its whole
// text, and nothing stored that was not sent. One failure per message, named by its subject.
void ExpectEachStoredOnce(const StoredTexts& stored,
                          const std::map<std::string, std::string>& expected);

}  // namespace moxeltest
