#include <gtest/gtest.h>

#include "core/Exception.h"
#include "database/LetterBoxKey.h"

namespace {

TEST(LetterBoxKeyTest, ParsesAddressUserAndHost) {
    const auto key = LetterBoxKey::Parse("me@example.com/me/pop.example.com");
    EXPECT_EQ(key.GetAddress(), "me@example.com");
    EXPECT_EQ(key.GetUserName(), "me");
    EXPECT_EQ(key.GetHost(), "pop.example.com");
    EXPECT_EQ(key.ToString(), "me@example.com/me/pop.example.com");
    EXPECT_EQ(key, LetterBoxKey("me@example.com", "me", "pop.example.com"));
}

TEST(LetterBoxKeyTest, RefusesInvalidTexts) {
    const char* invalid[] = {
        "", "no-slash", "a/b", "/user/host", "a//host", "a/user/", "a/us/er/host", "//", "a/b/c/d",
    };
    for (const char* text : invalid) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(LetterBoxKey::IsValid(text));
        try {
            LetterBoxKey::Parse(text);
            ADD_FAILURE() << "accepted";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "Invalid LetterBoxKey");
        }
    }
}

TEST(LetterBoxKeyTest, KeepsUnusualButValidParts) {
    const auto key = LetterBoxKey::Parse("o'neil@example.com/o'neil@example.com/10.0.0.1:995");
    EXPECT_EQ(key.GetUserName(), "o'neil@example.com");
    EXPECT_EQ(key.GetHost(), "10.0.0.1:995");
}

}  // namespace
