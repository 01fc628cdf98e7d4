#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "postoffice/UserTemplate.h"
#include "postoffice/VerificationRequest.h"

namespace {

TEST(UserTemplateTest, OnlyTheNumberedTokensOfGivenValuesAreReplaced) {
    struct Case {
        const char* label;
        std::string text;
        std::string filled;
    };
    const std::vector<std::string> values = {"Lunch?", "KVRQ-1"};
    const Case cases[] = {
        {"the default subject", "Re: %1% [%2%]", "Re: Lunch? [KVRQ-1]"},
        {"order reversed and repeated", "%2% %1% %2%", "KVRQ-1 Lunch? KVRQ-1"},
        {"adjacent tokens", "%1%%2%", "Lunch?KVRQ-1"},
        {"no placeholders", "Please reply", "Please reply"},
        {"a missing placeholder", "Re: %1%", "Re: Lunch?"},
        {"a number without a value", "%3% and %2%", "%3% and KVRQ-1"},
        {"a stray percent sign", "100% sure: %1%", "100% sure: Lunch?"},
        {"a percent sign before a token", "%%1%", "%Lunch?"},
        {"a doubled percent sign stays", "50%% off", "50%% off"},
        {"a token cut short at the end", "Re: %1", "Re: %1"},
        {"a lone percent sign", "%", "%"},
        {"printf and boost forms stay", "%s %d %|1$s| %1$s", "%s %d %|1$s| %1$s"},
        {"leading zero is no token", "%01%", "%01%"},
        {"zero is no token", "%0%", "%0%"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(FillUserTemplate(c.text, values), c.filled);
    }
}

TEST(UserTemplateTest, AValueIsNotFilledAgain) {
    EXPECT_EQ(FillUserTemplate("[%1%] [%2%]", {"%2% 100%", "code"}), "[%2% 100%] [code]");
    EXPECT_EQ(FillUserTemplate("%1%", {"%1%"}), "%1%");
    EXPECT_EQ(FillUserTemplate("%1%", {}), "%1%");
}

TEST(ShortenSubjectTest, SubjectsLongerThan30CharactersAreCutTo27AndAnEllipsis) {
    struct Case {
        const char* label;
        std::string subject;
        std::string shortened;
    };
    const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
    const Case cases[] = {
        {"one word", "Hello", "Hello"},
        {"empty", "", ""},
        {"exactly 30", thirty, thirty},
        {"31", thirty + "4", "abcdefghijklmnopqrstuvwxyz0..."},
        {"10 KB", std::string(10240, 'x'), std::string(27, 'x') + "..."},
        // "ü" is two bytes, "€" three, "𝄞" four: counted as one character each.
        {"30 two-byte characters",
         [] {
             std::string s;
             for (int i = 0; i < 30; ++i) {
                 s += "ü";
             }
             return s;
         }(),
         [] {
             std::string s;
             for (int i = 0; i < 30; ++i) {
                 s += "ü";
             }
             return s;
         }()},
        {"a multi-byte character at the cut", "abcdefghijklmnopqrstuvwxy€𝄞 and more",
         "abcdefghijklmnopqrstuvwxy€𝄞..."},
        {"bytes that start no character count one each", std::string(31, '\xE9'),
         std::string(27, '\xE9') + "..."},
        {"a sequence cut short by the end", std::string(29, 'a') + "\xE2\x82",
         std::string(27, 'a') + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ShortenSubject(c.subject), c.shortened);
    }
}

}  // namespace
