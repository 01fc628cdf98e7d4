#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "netframe/ErrorTable.h"
#include "netframe/EventCallbacks.h"
#include "netframe/LastError.h"
#include "netframe/TextConversion.h"

namespace {

constexpr netframe::ErrorText kTexts[] = {
    {20001, "First failure"},
    {20002, "Second failure with a longer text"},
    {15, "Below the lowest code"},
};
constexpr netframe::ErrorTable kTable(kTexts, 20000);

TEST(ErrorTableTest, CopiesTextsTruncatedAndTerminated) {
    char buffer[64];
    EXPECT_EQ(kTable.Copy(20001, buffer, sizeof(buffer)), 13);
    EXPECT_STREQ(buffer, "First failure");

    EXPECT_EQ(kTable.Copy(20002, buffer, 7), 6);
    EXPECT_STREQ(buffer, "Second");

    EXPECT_EQ(kTable.Copy(20002, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(ErrorTableTest, LeavesTheBufferAloneForLowCodesAndBadBuffers) {
    struct Case {
        const char* label;
        std::uint32_t code;
        int capacity;
    };
    const Case cases[] = {
        {"code below the lowest, even with a text", 15, 64},
        {"code 0", 0, 64},
        {"capacity 0", 20001, 0},
        {"negative capacity", 20001, -5},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        char buffer[64];
        std::memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ(kTable.Copy(item.code, buffer, item.capacity), 0);
        EXPECT_EQ(buffer[0], 'x');
    }
    EXPECT_EQ(kTable.Copy(20001, static_cast<char*>(nullptr), 10), 0);
    EXPECT_EQ(kTable.Find(15), nullptr);
}

TEST(ErrorTableTest, ACodeWithoutTextGivesAnEmptyText) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(kTable.Copy(20003, buffer, sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(ErrorTableTest, TheUtf16FormCopiesTheSameText) {
    char16_t buffer[64];
    EXPECT_EQ(kTable.Copy(20001, buffer, 6), 5);
    EXPECT_EQ(std::u16string(buffer), u"First");
    char16_t untouched[4] = {u'x', 0, 0, 0};
    EXPECT_EQ(kTable.Copy(9, untouched, 4), 0);
    EXPECT_EQ(untouched[0], u'x');
}

TEST(TextConversionTest, ConvertsBetweenUtf8AndUtf16) {
    EXPECT_EQ(netframe::ToUtf8(u"Gr\u00fc\u00dfe \U0001F600"),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xF0\x9F\x98\x80");
    EXPECT_EQ(netframe::ToUtf16("Gr\xC3\xBC\xC3\x9F"
                                "e"),
              u"Gr\u00fc\u00dfe");
    EXPECT_EQ(netframe::ToUtf8(static_cast<const char16_t*>(nullptr)), "");
}

TEST(TextConversionTest, TruncationNeverSplitsACharacter) {
    char narrow[4];
    // "aü" is 3 bytes; with room for 2 the "ü" does not fit whole.
    EXPECT_EQ(netframe::CopyTruncated("a\xC3\xBC", narrow, 3), 1);
    EXPECT_STREQ(narrow, "a");
    EXPECT_EQ(netframe::CopyTruncated("a\xC3\xBC", narrow, 4), 3);

    char16_t wide[3];
    // A surrogate pair needs two units; with room for one unit after 'a' it is left out.
    EXPECT_EQ(netframe::CopyTruncated(u"a\U0001F600", wide, 3), 1);
    EXPECT_EQ(wide[1], u'\0');
}

TEST(LastErrorTest, IsKeptPerThreadAndSurvivesAKeeper) {
    netframe::SetLastErrorCode(11);
    std::uint32_t other = 99;
    std::thread([&] { other = netframe::GetLastErrorCode(); }).join();
    EXPECT_EQ(other, 0U) << "a new thread starts without error";
    {
        const netframe::LastErrorKeeper keeper;
        netframe::SetLastErrorCode(12);
    }
    EXPECT_EQ(netframe::GetLastErrorCode(), 11U);
    EXPECT_EQ(netframe::Fail(13, -1), -1);
    EXPECT_EQ(netframe::GetLastErrorCode(), 13U);
}

void First(int, std::uint32_t, std::uint32_t, std::uintptr_t) {}
void Second(int, std::uint32_t, std::uint32_t, std::uintptr_t) {}
using Callback = void (*)(int, std::uint32_t, std::uint32_t, std::uintptr_t);

TEST(EventCallbacksTest, RegistersByMaskAndIgnoresBitsAboveTheSeven) {
    netframe::EventCallbacks<Callback> callbacks;
    callbacks.Register(1 | 8 | 128 | 256, &First, 5);
    EXPECT_EQ(callbacks.CallbackFor(1), &First);
    EXPECT_EQ(callbacks.CallbackFor(8), &First);
    EXPECT_EQ(callbacks.ParameterFor(8), 5U);
    EXPECT_EQ(callbacks.CallbackFor(2), nullptr);
    EXPECT_EQ(callbacks.CallbackFor(128), nullptr);
    EXPECT_EQ(callbacks.CallbackFor(1 | 8), nullptr) << "one event at a time";

    callbacks.Register(8 | 64, &Second, 6);
    EXPECT_EQ(callbacks.CallbackFor(1), &First);
    EXPECT_EQ(callbacks.CallbackFor(8), &Second);
    EXPECT_EQ(callbacks.CallbackFor(64), &Second);

    callbacks.Register(1, nullptr, 9);
    EXPECT_EQ(callbacks.CallbackFor(1), nullptr);
    EXPECT_EQ(callbacks.ParameterFor(1), 0U);
    callbacks.Clear();
    EXPECT_EQ(callbacks.CallbackFor(64), nullptr);
}

TEST(EventCallbacksTest, EventParametersPackEventLowAndErrorHigh) {
    EXPECT_EQ(netframe::MakeEventParameter(8, 10054), (10054 << 16) | 8);
    EXPECT_EQ(netframe::EventIndex(1), 0);
    EXPECT_EQ(netframe::EventIndex(64), 6);
    EXPECT_EQ(netframe::EventIndex(3), -1);
    EXPECT_EQ(netframe::EventIndex(0), -1);
}

}  // namespace
