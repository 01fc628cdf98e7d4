#pragma once

#include <string>
#include <string_view>
#include <vector>

// `text` as a JSON string, quotes included; bytes below 0x20 and the two specials are escaped,
// other bytes pass as they are (stored texts are UTF-8).
std::string JsonString(std::string_view text);
// A JSON array of strings on one line.
std::string JsonStringArray(const std::vector<std::string>& texts);
