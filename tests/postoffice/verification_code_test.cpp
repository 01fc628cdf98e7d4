#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>

#include "core/Exception.h"
#include "database/LetterData.h"
#include "postoffice/VerificationCode.h"
#include "support/DatabaseFixture.h"

namespace {

boost::uuids::uuid Guid(const std::array<std::uint8_t, 16>& bytes) {
    boost::uuids::uuid guid{};
    std::copy(bytes.begin(), bytes.end(), guid.begin());
    return guid;
}

bool IsUpperHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

const std::string kCode = "KVRQ-0123456789ABCDEF0123456789ABCDEF";

TEST(UniqueIdTest, FieldsAreWrittenInOrderWithoutLeadingZeros) {
    struct Case {
        const char* label;
        std::array<std::uint8_t, 16> bytes;
        std::string id;
    };
    const Case cases[] = {
        {"every digit used",
         {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
          0x88},
         "123456789ABCDEF01122334455667788"},
        {"all ones",
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
          0xFF},
         "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
        {"leading zeros in every field",
         {0x00, 0x00, 0x0A, 0xBC, 0x00, 0x01, 0x0F, 0xFF, 0x01, 0x00, 0x0A, 0x10, 0x00, 0x00, 0x00,
          0x05},
         "ABC1FFF10A100005"},
        {"only the last byte set",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01},
         "00000000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(UniqueIdFromGuid(Guid(c.bytes)), c.id);
    }
}

TEST(UniqueIdTest, TheAllZeroIdIsRefused) {
    try {
        UniqueIdFromGuid(Guid({}));
        FAIL() << "the all-zero id was accepted";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Internal error: Unable to create a unique identifier");
    }
}

TEST(UniqueIdTest, NewIdsAreDistinctUpperCaseHexOfAtMost32Digits) {
    std::set<std::string> seen;
    bool sawShortId = false;
    for (int i = 0; i < 2000; ++i) {
        const std::string id = CreateUniqueId();
        ASSERT_GE(id.size(), 11u) << id;
        ASSERT_LE(id.size(), 32u) << id;
        ASSERT_TRUE(IsUpperHex(id)) << id;
        EXPECT_TRUE(seen.insert(id).second) << "repeated id " << id;
        sawShortId = sawShortId || id.size() < 32;
    }
    // A byte below 0x10 loses its leading zero: among 2000 random ids many do.
    EXPECT_TRUE(sawShortId);
}

TEST(VerificationCodeTest, NewCodesHaveThePrefixAndAreAlways37Long) {
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::string code = MakeVerificationCode();
        ASSERT_EQ(code.size(), 37u) << code;
        ASSERT_EQ(code.substr(0, 5), "KVRQ-");
        ASSERT_TRUE(IsUpperHex(code.substr(5))) << code;
        EXPECT_TRUE(seen.insert(code).second) << "repeated code " << code;
        std::string extracted;
        ASSERT_TRUE(ExtractVerificationCode("Re: hello [" + code + "]", extracted));
        EXPECT_EQ(extracted, code);
    }
}

TEST(VerificationCodeTest, ExtractionTriesOnlyTheFirstPrefix) {
    struct Case {
        const char* label;
        std::string text;
        bool found;
        std::string code;
    };
    const std::string longSubject(10 * 1024, 'x');
    const Case cases[] = {
        {"in square brackets", "Re: Lunch? [" + kCode + "]", true, kCode},
        {"the whole text", kCode, true, kCode},
        {"lower case digits", "Re: [kvrq-x] KVRQ-0123456789abcdef0123456789abcdef", true,
         "KVRQ-0123456789abcdef0123456789abcdef"},
        {"followed by letters that are no digits", kCode + "XYZ", true, kCode},
        {"two codes: the first counts",
         "KVRQ-11111111111111111111111111111111 KVRQ-22222222222222222222222222222222", true,
         "KVRQ-11111111111111111111111111111111"},
        {"after a 10 KB subject", longSubject + kCode, true, kCode},
        {"no prefix", "Re: Lunch? 0123456789ABCDEF0123456789ABCDEF", false, ""},
        {"empty text", "", false, ""},
        {"prefix in lower case", "kvrq-0123456789ABCDEF0123456789ABCDEF", false, ""},
        {"cut short by one", kCode.substr(0, 36), false, ""},
        {"31 digits, then the closing bracket", "Re: [" + kCode.substr(0, 36) + "]", false, ""},
        {"the prefix alone at the end", "Re: KVRQ-", false, ""},
        {"a non-hex digit inside", "KVRQ-0123456789ABCDEG0123456789ABCDEF", false, ""},
        {"a blank inside", "KVRQ-0123456789ABCDEF 123456789ABCDEF0", false, ""},
        {"first prefix bad, valid code later", "KVRQ-nope then " + kCode, false, ""},
        {"prefix repeated", "KVRQ-" + kCode, false, ""},
        {"10 KB without a code", longSubject, false, ""},
        {"non-ASCII around", "Grüße [" + kCode + "] ünd", true, kCode},
        {"non-ASCII inside", "KVRQ-0123456789ABCDEF0123456789ABCDÉ", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string code = "untouched";
        EXPECT_EQ(ExtractVerificationCode(c.text, code), c.found);
        EXPECT_EQ(code, c.found ? c.code : "untouched");
    }
}

using LetterVerificationCodeTest = moxeltest::DatabaseTest;

TEST_F(LetterVerificationCodeTest, TheSubjectOfTheLetterIsSearched) {
    Letter reply;
    reply.StoreText("From: a@example.com\nSubject: Re: Lunch? [" + kCode + "]\n\n" + "body");
    EXPECT_TRUE(LetterHasVerificationCode(reply));

    Letter codeInBody;
    codeInBody.StoreText("From: a@example.com\nSubject: Lunch?\n\n" + kCode);
    EXPECT_FALSE(LetterHasVerificationCode(codeInBody));

    Letter noText;
    EXPECT_FALSE(LetterHasVerificationCode(noText));
}

}  // namespace
