#include "postoffice/UserTemplate.h"

#include <cstddef>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The 1-based value number of a token "%<digits>%" at `pos` (without leading zeros), or 0
// when no such token starts there; `length` receives the token's length.
std::size_t TokenAt(const std::string& text, std::size_t pos, std::size_t& length) {
    std::size_t end = pos + 1;
    std::size_t number = 0;
    while (end < text.size() && IsDigit(text[end]) && end - pos <= 4) {
        number = number * 10 + static_cast<std::size_t>(text[end] - '0');
        ++end;
    }
    if (end == pos + 1 || end >= text.size() || text[end] != '%' || text[pos + 1] == '0') {
        return 0;
    }
    length = end + 1 - pos;
    return number;
}

}  // namespace

std::string FillUserTemplate(const std::string& text, const std::vector<std::string>& values) {
    std::string filled;
    filled.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = 0;
        const std::size_t number = text[pos] == '%' ? TokenAt(text, pos, length) : 0;
        if (number >= 1 && number <= values.size()) {
            filled += values[number - 1];
            pos += length;
        } else {
            filled += text[pos];
            ++pos;
        }
    }
    return filled;
}
