#pragma once

#include <string_view>

// The white space that mail header texts are trimmed of: blanks, tabs, CR and LF.
inline constexpr std::string_view kHeaderWhiteSpace = " \t\r\n";

// The text without header white space at either end. Any thread.
inline std::string_view TrimWhiteSpace(std::string_view text) {
    const auto first = text.find_first_not_of(kHeaderWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kHeaderWhiteSpace);
    return text.substr(first, last - first + 1);
}
