#include "popwire/ReplyText.h"

#include <limits>

namespace popwire {

namespace {

constexpr std::size_t kTextLimit = 127;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the digits at `position` (advancing it); saturates at the largest 32-bit value.
std::uint32_t ReadNumber(std::string_view text, std::size_t& position) {
    std::uint64_t value = 0;
    constexpr std::uint64_t kMaximum = std::numeric_limits<std::uint32_t>::max();
    for (; position < text.size() && IsDigit(text[position]); ++position) {
        value = std::min(kMaximum, value * 10 + static_cast<std::uint64_t>(text[position] - '0'));
    }
    return static_cast<std::uint32_t>(value);
}

void SkipWhile(std::string_view text, std::size_t& position, bool (*skip)(char)) {
    while (position < text.size() && skip(text[position])) {
        ++position;
    }
}

bool IsNotDigit(char c) {
    return !IsDigit(c);
}

}  // namespace

MailboxFigures ParseMailboxFigures(std::string_view text) {
    MailboxFigures figures;
    std::size_t position = 0;
    SkipWhile(text, position, &IsNotDigit);
    figures.messageCount = ReadNumber(text, position);
    SkipWhile(text, position, &IsNotDigit);
    figures.octets = ReadNumber(text, position);
    return figures;
}

std::uint32_t ParseMessageSize(std::string_view text) {
    std::size_t position = 0;
    SkipWhile(text, position, &IsDigit);
    SkipWhile(text, position, &IsNotDigit);
    return ReadNumber(text, position);
}

std::string ParseUniqueId(std::string_view text) {
    std::size_t position = 0;
    SkipWhile(text, position, &IsDigit);
    SkipWhile(text, position, &IsSpace);
    std::string_view identifier = text.substr(position);
    while (!identifier.empty() && IsSpace(identifier.back())) {
        identifier.remove_suffix(1);
    }
    return std::string(identifier.substr(0, kTextLimit));
}

std::string FindApopTimeStamp(std::string_view greeting) {
    const std::size_t open = greeting.find('<');
    if (open == std::string_view::npos) {
        return {};
    }
    const std::size_t close = greeting.find('>', open);
    if (close == std::string_view::npos) {
        return {};
    }
    const std::string_view stamp = greeting.substr(open, close - open + 1);
    if (stamp.size() > kTextLimit || stamp.find('@') == std::string_view::npos) {
        return {};
    }
    return std::string(stamp);
}

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(text[i]) != lower(word[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace popwire
