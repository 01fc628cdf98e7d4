#include "database/QuoteText.h"

namespace DatabaseLayer {

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace

std::string QuoteText(const std::string& text) {
    std::string quoted;
    quoted.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\0') {
            quoted += kReplacementCharacter;
            continue;
        }
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted;
}

}  // namespace DatabaseLayer
