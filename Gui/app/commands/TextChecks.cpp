#include "app/commands/TextChecks.h"

#include <algorithm>

std::optional<std::int64_t> ParseNumber(const std::string& text, std::int64_t low,
                                        std::int64_t high) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const std::int64_t value = std::stoll(text);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

bool IsPrintableLine(const std::string& text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

std::string Printable(const std::string& text) {
    std::string shown = text.substr(0, 80);
    for (auto& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text.size() > 80 ? shown + "..." : shown;
}
