#include "database/QuoteText.h"

namespace DatabaseLayer {

std::string QuoteText(const std::string& text) {
    std::string quoted;
    quoted.reserve(text.size() + 8);
    for (const char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted;
}

}  // namespace DatabaseLayer
