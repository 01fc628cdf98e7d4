#include "database/ExtractAddress.h"

#include "database/LowerAscii.h"
#include "database/TrimWhiteSpace.h"

namespace {

bool IsWhiteSpace(char c) {
    return kHeaderWhiteSpace.find(c) != std::string_view::npos;
}

// Finds where quoted texts and comments end. Once the search for a closing character fails from
// some position, it fails from every later opener of the same kind too (the characters between
// are read the same way), so the scanner remembers that and the whole walk stays linear.
class QuoteScanner {
public:
    explicit QuoteScanner(std::string_view value) : text(value) {}

    // When a quoted text or comment opens at `pos` and is closed, the position just after it;
    // otherwise npos.
    std::size_t SkipQuoted(std::size_t pos) {
        switch (text[pos]) {
            case '"':
                return Close(pos, '"', noDoubleFrom);
            case '(':
                return Close(pos, ')', noCommentFrom);
            case '\'':
                // An apostrophe inside a word (O'Neil) opens nothing.
                if (pos == 0 || IsWhiteSpace(text[pos - 1])) {
                    return Close(pos, '\'', noSingleFrom);
                }
                return std::string_view::npos;
            default:
                return std::string_view::npos;
        }
    }

private:
    std::size_t Close(std::size_t open, char close, std::size_t& failedFrom) {
        if (open >= failedFrom) {
            return std::string_view::npos;
        }
        for (std::size_t pos = open + 1; pos < text.size(); ++pos) {
            if (text[pos] == '\\') {
                ++pos;
            } else if (text[pos] == close) {
                return pos + 1;
            }
        }
        failedFrom = open;
        return std::string_view::npos;
    }

    std::string_view text;
    std::size_t noDoubleFrom = std::string_view::npos;
    std::size_t noSingleFrom = std::string_view::npos;
    std::size_t noCommentFrom = std::string_view::npos;
};

}  // namespace

std::string ExtractAddress(std::string_view value) {
    QuoteScanner scanner(value);

    // Angle form: skip the display name up to the first "<", ";" or ",".
    std::size_t pos = 0;
    while (pos < value.size() && value[pos] != '<' && value[pos] != ';' && value[pos] != ',') {
        const std::size_t after = scanner.SkipQuoted(pos);
        pos = after != std::string_view::npos ? after : pos + 1;
    }
    while (pos < value.size() && IsWhiteSpace(value[pos])) {
        ++pos;
    }
    if (pos < value.size() && value[pos] == '<') {
        const std::size_t close = value.find('>', pos + 1);
        const std::size_t length = close == std::string_view::npos ? close : close - pos - 1;
        return LowerAscii(TrimWhiteSpace(value.substr(pos + 1, length)));
    }

    // Plain form: an optional quoted text or comment, then the address itself.
    pos = 0;
    while (pos < value.size() && IsWhiteSpace(value[pos])) {
        ++pos;
    }
    if (pos < value.size()) {
        const std::size_t after = scanner.SkipQuoted(pos);
        if (after != std::string_view::npos) {
            pos = after;
        }
    }
    const std::size_t end = value.find_first_of("(\",;", pos);
    const std::size_t length = end == std::string_view::npos ? end : end - pos;
    return LowerAscii(TrimWhiteSpace(value.substr(std::min(pos, value.size()), length)));
}
