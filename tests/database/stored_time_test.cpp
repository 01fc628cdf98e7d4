#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "database/StoredTime.h"

using namespace DatabaseLayer;
namespace pt = boost::posix_time;

namespace {

pt::ptime At(const std::string& text) {
    return pt::time_from_string(text);
}

TEST(SecondsFormTest, CountsWholeSecondsFromTheStartOf1977) {
    struct Case {
        const char* time;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"1977-01-01 00:00:00", "0"},
        {"1977-01-02 00:00:00", "86400"},
        {"1977-01-01 00:00:01.999", "1"},
        {"1976-12-31 23:59:59", "-1"},
        {"2005-03-11 13:36:46", "889623406"},
        // The last second a 32-bit count could hold, and the ones after it.
        {"2045-01-19 03:14:07", "2147483647"},
        {"2045-01-19 03:14:08", "2147483648"},
        {"2150-06-01 12:00:00", "5472446400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(SecondsTextFromTime(At(c.time)), c.text);
        const pt::ptime time = At(c.time);
        const pt::ptime wholeSecond(time.date(), pt::seconds(time.time_of_day().total_seconds()));
        EXPECT_EQ(TimeFromSecondsText(c.text), wholeSecond);
    }
}

TEST(SecondsFormTest, ReadsLikeAtoi) {
    const pt::ptime reference = At("1977-01-01 00:00:00");
    EXPECT_EQ(GetReferenceTime(), reference);
    EXPECT_EQ(TimeFromSecondsText(""), reference);
    EXPECT_EQ(TimeFromSecondsText("garbage"), reference);
    EXPECT_EQ(TimeFromSecondsText("  86400 and more"), reference + pt::hours(24));
    EXPECT_EQ(TimeFromSecondsText("60.9"), reference + pt::minutes(1));
    EXPECT_EQ(TimeFromSecondsText("-3600"), reference - pt::hours(1));
}

TEST(SecondsFormTest, CountsBeyondTheCalendarAreHeldAtItsEnds) {
    const pt::ptime late = TimeFromSecondsText("99999999999999999999999");
    const pt::ptime early = TimeFromSecondsText("-99999999999999999999999");
    EXPECT_FALSE(late.is_special());
    EXPECT_FALSE(early.is_special());
    EXPECT_EQ(late.date().year(), 9999);
    EXPECT_EQ(early.date().year(), 1400);
    EXPECT_GT(late, At("2150-01-01 00:00:00"));
}

TEST(SecondsFormTest, RefusesTimesThatAreNoPointInTime) {
    EXPECT_THROW(SecondsTextFromTime(pt::ptime()), Exception);
    EXPECT_THROW(SecondsTextFromTime(pt::ptime(pt::pos_infin)), Exception);
}

TEST(CalendarFormTest, WritesYearMonthNameDayAndTime) {
    EXPECT_EQ(CalendarTextFromTime(At("2005-03-11 13:36:46")), "2005-Mar-11 13:36:46");
    EXPECT_EQ(CalendarTextFromTime(At("2045-12-01 00:00:09.75")), "2045-Dec-01 00:00:09");
    EXPECT_THROW(CalendarTextFromTime(pt::ptime()), Exception);
}

TEST(CalendarFormTest, ReadsBackTheSameSecond) {
    for (const char* time : {"2005-03-11 13:36:46", "1977-01-01 00:00:00", "2045-01-19 03:14:08",
                             "2024-02-29 23:59:59"}) {
        SCOPED_TRACE(time);
        EXPECT_EQ(TimeFromCalendarText(CalendarTextFromTime(At(time))), At(time));
    }
}

TEST(CalendarFormTest, AcceptsOtherSeparatorsAndMonthNumbers) {
    const pt::ptime expected = At("2005-03-11 13:36:46");
    for (const char* text :
         {"2005-Mar-11 13:36:46", "2005:Mar:11 13:36:46", "2005,Mar,11 13:36:46",
          "2005.Mar.11 13:36:46", "2005-03-11 13:36:46", "2005-3-11 13:36:46",
          "2005.MAR.11 13:36:46", "2005-march-11 13:36:46", " 2005-Mar-11  13:36:46 "}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TimeFromCalendarText(text), expected);
    }
}

TEST(CalendarFormTest, RefusesEverythingElseWithItsText) {
    for (const char* text :
         {"", "garbage", "2005-Mar-11", "2005-Feb-30 10:00:00", "2005-Mar-11 24:00:00",
          "2005-Mar-11 13:60:00", "2005-Mar-11 13:36:46x", "2005-Mrz-11 13:36:46",
          "2005-13-11 13:36:46", "99999-Mar-11 01:01:01", "2005-Mar-11 1:2", "0-Jan-01 00:00:00",
          "2005-Mar-111 13:36:46", "2005--11 13:36:46"}) {
        SCOPED_TRACE(text);
        try {
            TimeFromCalendarText(text);
            ADD_FAILURE() << "accepted";
        } catch (const Exception& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string("Invalid date and time text: ") + text);
        }
    }
}

}  // namespace
