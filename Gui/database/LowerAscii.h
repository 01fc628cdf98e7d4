#pragma once

#include <string>
#include <string_view>

// The text with A to Z made lower case and every other byte kept: header names, charset names
// and address parts compare this way whatever the locale. Any thread.
inline std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}
