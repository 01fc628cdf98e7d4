#include "database/StoredTime.h"

#include <array>
#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Exception.h"
#include "database/TextNumbers.h"

namespace DatabaseLayer {

namespace pt = boost::posix_time;
namespace gr = boost::gregorian;

namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

bool IsDateSeparator(char c) {
    return c == '-' || c == ':' || c == ',' || c == '.' || c == '/';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A small cursor over the calendar text; every reader returns nullopt on a mismatch.
class CalendarReader {
public:
    explicit CalendarReader(std::string_view value) : text(value) {}

    // 1 to `maxDigits` decimal digits.
    std::optional<int> Number(std::size_t maxDigits) {
        std::size_t length = 0;
        int value = 0;
        while (pos + length < text.size() && IsDigit(text[pos + length]) && length < maxDigits) {
            value = value * 10 + (text[pos + length] - '0');
            ++length;
        }
        if (length == 0 || (pos + length < text.size() && IsDigit(text[pos + length]))) {
            return std::nullopt;
        }
        pos += length;
        return value;
    }

    // A month number 1..12, or an English month name or its first three letters, any case.
    std::optional<int> Month() {
        if (pos < text.size() && IsDigit(text[pos])) {
            return Number(2);
        }
        std::string word;
        while (pos < text.size() && std::isalpha(static_cast<unsigned char>(text[pos]))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
            ++pos;
        }
        for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
            if (word == kMonthNames[i] || (word.size() == 3 && kMonthNames[i].starts_with(word))) {
                return static_cast<int>(i) + 1;
            }
        }
        return std::nullopt;
    }

    bool Separator() { return pos < text.size() && IsDateSeparator(text[pos]) && (++pos, true); }
    bool Colon() { return pos < text.size() && text[pos] == ':' && (++pos, true); }

    bool Blanks() {
        const std::size_t start = pos;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
        return pos > start;
    }

    bool AtEnd() const { return pos == text.size(); }

private:
    std::string_view text;
    std::size_t pos = 0;
};

std::optional<pt::ptime> ReadCalendarText(std::string_view text) {
    CalendarReader reader(text);
    reader.Blanks();
    const auto year = reader.Number(4);
    if (!year || !reader.Separator()) {
        return std::nullopt;
    }
    const auto month = reader.Month();
    if (!month || !reader.Separator()) {
        return std::nullopt;
    }
    const auto day = reader.Number(2);
    if (!day || !reader.Blanks()) {
        return std::nullopt;
    }
    const auto hours = reader.Number(2);
    if (!hours || !reader.Colon()) {
        return std::nullopt;
    }
    const auto minutes = reader.Number(2);
    if (!minutes || !reader.Colon()) {
        return std::nullopt;
    }
    const auto seconds = reader.Number(2);
    reader.Blanks();
    if (!seconds || !reader.AtEnd() || *hours > 23 || *minutes > 59 || *seconds > 59) {
        return std::nullopt;
    }
    try {
        const gr::date date(static_cast<unsigned short>(*year), static_cast<unsigned short>(*month),
                            static_cast<unsigned short>(*day));
        return pt::ptime(date, pt::time_duration(*hours, *minutes, *seconds));
    } catch (const std::exception&) {
        // Outside the calendar's years, or a day the month does not have.
        return std::nullopt;
    }
}

void RequireRealTime(const pt::ptime& time, const char* operation) {
    if (time.is_special()) {
        throw Exception(std::string("Internal error in ") + operation + ": not a point in time");
    }
}

}  // namespace

pt::ptime GetReferenceTime() {
    static const pt::ptime reference = pt::time_from_string("1977-01-01 00:00:00");
    return reference;
}

std::string SecondsTextFromTime(const pt::ptime& time) {
    RequireRealTime(time, "SecondsTextFromTime");
    const std::int64_t seconds = (time - GetReferenceTime()).total_seconds();
    return std::to_string(seconds);
}

pt::ptime TimeFromSecondsText(const std::string& text) {
    // Bounded so that adding the count to the reference time cannot overflow.
    static const std::int64_t lowest =
        (pt::ptime(pt::min_date_time) - GetReferenceTime()).total_seconds();
    static const std::int64_t highest =
        (pt::ptime(pt::max_date_time) - GetReferenceTime()).total_seconds();
    std::int64_t seconds = ParseInt64(text);
    if (seconds < lowest) {
        seconds = lowest;
    } else if (seconds > highest) {
        seconds = highest;
    }
    return GetReferenceTime() + pt::seconds(seconds);
}

std::string CalendarTextFromTime(const pt::ptime& time) {
    RequireRealTime(time, "CalendarTextFromTime");
    const pt::ptime whole(time.date(), pt::seconds(time.time_of_day().total_seconds()));
    return pt::to_simple_string(whole);
}

pt::ptime TimeFromCalendarText(const std::string& text) {
    const auto time = ReadCalendarText(text);
    if (!time) {
        throw Exception("Invalid date and time text: " + text);
    }
    return *time;
}

}  // namespace DatabaseLayer
