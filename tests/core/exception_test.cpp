#include "core/Exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/TimeCard.h"
#include "core/TimeCardException.h"

namespace {

TEST(ExceptionTest, DescriptionWithoutCauseIsTheMessage) {
    const Exception error("Disk full");
    EXPECT_STREQ(error.what(), "Disk full");
    EXPECT_EQ(error.GetDescription(), "Disk full");
    EXPECT_EQ(error.GetCause(), nullptr);
}

TEST(ExceptionTest, DescriptionChainsCausesButWhatKeepsTheMessage) {
    const Exception root("socket closed");
    const Exception middle("Connection to client lost", root);
    const Exception top("Session failed", middle);
    EXPECT_STREQ(top.what(), "Session failed");
    EXPECT_EQ(top.GetDescription(),
              "Session failed because of:\nConnection to client lost because of:\nsocket closed");
}

TEST(ExceptionTest, CopiesKeepTheCause) {
    Exception copy("placeholder");
    {
        const Exception original("outer", Exception("inner"));
        copy = original;
    }
    EXPECT_EQ(copy.GetDescription(), "outer because of:\ninner");
}

TEST(ExceptionTest, TakesTheTextOfOtherStandardExceptions) {
    const Exception error(std::out_of_range("index 7 out of range"));
    EXPECT_EQ(error.GetDescription(), "index 7 out of range");
}

TEST(TimeCardTest, CheckThrowsEndOfWorkOnlyAfterPunchOut) {
    TimeCard::PunchIn();
    EXPECT_FALSE(TimeCard::IsOver());
    EXPECT_NO_THROW(TimeCard::Check());

    TimeCard::PunchOut();
    EXPECT_TRUE(TimeCard::IsOver());
    try {
        TimeCard::Check();
        FAIL() << "Check() after PunchOut() must throw";
    } catch (const TimeCardException& error) {
        EXPECT_STREQ(error.what(), "End of work");
    }

    TimeCard::PunchIn();
    EXPECT_NO_THROW(TimeCard::Check());
}

}  // namespace
