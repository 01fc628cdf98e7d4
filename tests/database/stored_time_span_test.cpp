#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <string>

#include "core/Exception.h"
#include "database/StoredTimeSpan.h"

using namespace DatabaseLayer;
namespace pt = boost::posix_time;

namespace {

TEST(StoredTimeSpanTest, SpansAreWrittenAsHoursMinutesAndSeconds) {
    struct Case {
        const char* label;
        pt::time_duration span;
        std::string text;
    };
    const Case cases[] = {
        {"14 days", pt::hours(14 * 24), "336:00:00"},
        {"6 hours", pt::hours(6), "06:00:00"},
        {"zero", pt::seconds(0), "00:00:00"},
        {"every field", pt::hours(1) + pt::minutes(2) + pt::seconds(3), "01:02:03"},
        {"fraction dropped", pt::seconds(59) + pt::milliseconds(999), "00:00:59"},
        {"largest", pt::hours(999999) + pt::minutes(59) + pt::seconds(59), "999999:59:59"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(TimeSpanTextFromDuration(c.span), c.text);
        const auto read = DurationFromTimeSpanText(c.text);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, pt::seconds(c.span.total_seconds()));
    }
}

TEST(StoredTimeSpanTest, SpansThatCannotBeReadBackAreRefused) {
    const pt::time_duration spans[] = {pt::time_duration(pt::not_a_date_time), pt::seconds(-1),
                                       pt::hours(1000000)};
    for (const auto& span : spans) {
        SCOPED_TRACE(pt::to_simple_string(span));
        EXPECT_THROW(TimeSpanTextFromDuration(span), Exception);
    }
}

TEST(StoredTimeSpanTest, OtherTextsAreUnreadable) {
    const char* texts[] = {"",          "06:00",     "6",           ":00:00",        "06:0:00",
                           "06:00:0",   "06:60:00",  "06:00:60",    "-1:00:00",      "aa:00:00",
                           " 06:00:00", "06:00:00 ", "06:00:00:00", "1000000:00:00", "06-00-00",
                           "06:00:00x", "6h"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(DurationFromTimeSpanText(text).has_value());
    }
    // A single digit of hours is read, though never written.
    EXPECT_EQ(DurationFromTimeSpanText("6:00:00"), pt::hours(6));
}

}  // namespace
