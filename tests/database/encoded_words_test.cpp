#include <gtest/gtest.h>

#include <string>

#include "database/EncodedWords.h"

namespace {

struct DisplayCase {
    const char* label;
    std::string value;
    std::string shown;
};

const DisplayCase kCases[] = {
    {"plain ASCII", "Lunch today?", "Lunch today?"},
    {"Q in UTF-8", "=?utf-8?q?Caf=C3=A9_au_lait?=", "Caf\xc3\xa9 au lait"},
    {"B in UTF-8, charset in capitals", "=?UTF-8?B?Q2Fmw6k=?=", "Caf\xc3\xa9"},
    {"Q in ISO-8859-1", "=?iso-8859-1?Q?Caf=E9?=", "Caf\xc3\xa9"},
    {"blanks between two words vanish", "=?utf-8?q?a?= \t =?utf-8?q?b?=", "ab"},
    {"blanks between a word and text stay", "Re: =?utf-8?q?a?= b", "Re: a b"},
    {"an unknown charset stays encoded", "=?koi8-r?q?x?=", "=?koi8-r?q?x?="},
    {"an unfinished word stays", "=?utf-8?q?abc", "=?utf-8?q?abc"},
    {"raw ISO-8859-1 byte", "caf\xe9", "caf\xc3\xa9"},
    {"raw C1 byte", "a\x85z", "a?z"},
    {"control characters become blanks", "a\x01z\tq", "a z q"},
    {"an encoded control character", "=?utf-8?q?a=0Db?=", "a b"},
    {"invalid UTF-8 inside a word", "=?utf-8?b?/w==?=", "\xc3\xbf"},
};

TEST(EncodedWordsTest, HeadersAreDecodedIntoPrintableUtf8) {
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(DecodeHeaderForDisplay(row.value), row.shown);
    }
}

}  // namespace
