#pragma once

#include <string>
#include <string_view>
#include <vector>

// `text` as a JSON string of ASCII only, quotes included: control characters, the two specials
// and every non-ASCII character are escaped (\uXXXX, surrogate pairs above U+FFFF); a byte that
// is not part of valid UTF-8 becomes U+FFFD, so that the output is valid JSON for any input.
std::string JsonString(std::string_view text);
// A JSON array of strings on one line.
std::string JsonStringArray(const std::vector<std::string>& texts);
