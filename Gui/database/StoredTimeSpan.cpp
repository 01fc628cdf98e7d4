#include "database/StoredTimeSpan.h"

#include <cstdint>
#include <string_view>

#include "core/Exception.h"

namespace DatabaseLayer {

namespace pt = boost::posix_time;

namespace {

// Six digits of hours are over a century: more cannot be meant, and would let time arithmetic
// leave the calendar.
constexpr std::size_t kMaxHourDigits = 6;
constexpr std::int64_t kHourLimit = 1000000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the digits of `text` from `pos` up to the next ":" or the end; nullopt when there are
// none, too many, or anything else stands there.
std::optional<std::int64_t> ReadNumber(std::string_view text, std::size_t& pos,
                                       std::size_t minDigits, std::size_t maxDigits) {
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; pos < text.size() && text[pos] != ':'; ++pos, ++digits) {
        if (!IsDigit(text[pos]) || digits == maxDigits) {
            return std::nullopt;
        }
        value = value * 10 + (text[pos] - '0');
    }
    if (digits < minDigits) {
        return std::nullopt;
    }
    return value;
}

std::string TwoDigits(std::int64_t value) {
    // Built in place: GCC 12 at -O3 mistakes "0" + std::string for an overlapping copy.
    std::string text = std::to_string(value);
    if (value < 10) {
        text.insert(text.begin(), '0');
    }
    return text;
}

}  // namespace

std::string TimeSpanTextFromDuration(const pt::time_duration& span) {
    if (span.is_special() || span.is_negative() || span.hours() >= kHourLimit) {
        throw Exception("Internal error in TimeSpanTextFromDuration: not a length of time");
    }
    const std::int64_t seconds = span.total_seconds();
    return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
           TwoDigits(seconds % 60);
}

std::optional<pt::time_duration> DurationFromTimeSpanText(const std::string& text) {
    std::size_t pos = 0;
    const auto hours = ReadNumber(text, pos, 1, kMaxHourDigits);
    if (!hours || pos == text.size()) {
        return std::nullopt;
    }
    ++pos;
    const auto minutes = ReadNumber(text, pos, 2, 2);
    if (!minutes || pos == text.size()) {
        return std::nullopt;
    }
    ++pos;
    const auto seconds = ReadNumber(text, pos, 2, 2);
    if (!seconds || pos != text.size() || *minutes > 59 || *seconds > 59) {
        return std::nullopt;
    }
    return pt::seconds(static_cast<long>(*hours * 3600 + *minutes * 60 + *seconds));
}

}  // namespace DatabaseLayer
