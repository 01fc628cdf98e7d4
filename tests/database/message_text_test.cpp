#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/ExtractAddress.h"
#include "database/MessageText.h"

namespace {

using namespace std::string_literals;

TEST(ParseHeadersTest, ReadsTheHeaderBlockOnly) {
    const HeaderMap headers = ParseHeaders(
        "From: Ann <ann@example.com>\nTo: bob@example.com\nSubject: Lunch?\n\nX-Body: not a "
        "header\nSubject: not this one\n");
    EXPECT_EQ(headers.size(), 3u);
    EXPECT_EQ(HeaderValue(headers, "From"), "Ann <ann@example.com>");
    EXPECT_EQ(HeaderValue(headers, "To"), "bob@example.com");
    EXPECT_EQ(HeaderValue(headers, "Subject"), "Lunch?");
    EXPECT_EQ(HeaderValue(headers, "X-Body"), "");
}

TEST(ParseHeadersTest, JoinsContinuationLinesWithOneBlank) {
    struct Case {
        const char* label;
        std::string text;
        const char* name;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"blank", "Subject: a\n b\n\nbody", "Subject", "a b"},
        {"tab and blanks", "Subject: a\n\t  b\n   c\n\n", "Subject", "a b c"},
        {"colon inside", "Received: from x\n\tby y; Tue, 1 Mar 2005 10:00:00 +0100\nTo: t\n",
         "Received", "from x by y; Tue, 1 Mar 2005 10:00:00 +0100"},
        {"empty first line", "Subject:\n hello\n", "Subject", "hello"},
        {"blank-only line", "Subject: a\n \t\n b\n", "Subject", "a b"},
        {"after a replaced header", "Subject: one\nSubject: two\n more\n", "Subject", "two more"},
        {"after a line without colon", "Subject: a\nnonsense\n b\n", "Subject", "a b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(HeaderValue(ParseHeaders(c.text), c.name), c.value);
    }
}

TEST(ParseHeadersTest, NamesIgnoreCaseAndTheLastOneWins) {
    const HeaderMap headers =
        ParseHeaders("SUBJECT: first\nfrom: a@b\nSubject: second\nsubject: third\n\n");
    EXPECT_EQ(headers.size(), 2u);
    EXPECT_EQ(HeaderValue(headers, "Subject"), "third");
    EXPECT_EQ(HeaderValue(headers, "FROM"), "a@b");
    // Iteration follows the names compared without case.
    EXPECT_EQ(headers.begin()->second, "a@b");
}

TEST(ParseHeadersTest, TrimsNamesAndValuesAndSkipsOtherLines) {
    const HeaderMap headers = ParseHeaders(
        "\n  orphan continuation\nSubject \t:  \t hi there \t\r\nno colon here\nX-Empty:\n"
        "Reply-To:a:b:c\n\nbody");
    EXPECT_EQ(HeaderValue(headers, "Subject"), "hi there");
    EXPECT_EQ(HeaderValue(headers, "Reply-To"), "a:b:c");
    EXPECT_EQ(headers.count("X-Empty"), 1u);
    EXPECT_EQ(headers.size(), 3u);
}

TEST(ParseHeadersTest, SurvivesHostileText) {
    struct Case {
        const char* label;
        std::string text;
        const char* name;
        std::string value;
    };
    const std::string hugeValue(100 * 1024, 'v');
    const std::vector<Case> cases = {
        {"no separator", "Subject: a\nFrom: b", "From", "b"},
        {"empty text", "", "Subject", ""},
        {"separator first", "\n\nSubject: a", "Subject", ""},
        {"CR-only line ends make one line", "Subject: a\rFrom: b\r\rbody", "Subject",
         "a\rFrom: b\r\rbody"},
        {"NUL bytes", "Subject: a\0b\n\nbody"s, "Subject", "a\0b"s},
        {"8-bit and invalid UTF-8", "Subject: Gr\xc3\xbc\xc3\x9f\xff\xfe\n", "Subject",
         "Gr\xc3\xbc\xc3\x9f\xff\xfe"},
        {"100 KB line", "Subject: " + hugeValue + "\n\n", "Subject", hugeValue},
        {"100 KB name", std::string(100 * 1024, 'N') + ": x\nSubject: s", "Subject", "s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(HeaderValue(ParseHeaders(c.text), c.name), c.value);
    }
}

TEST(ParseHeadersTest, HandlesThousandsOfHeadersAndContinuations) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "X-Header-" + std::to_string(i) + ": " + std::to_string(i) + "\n";
    }
    text += "Subject: start\n";
    for (int i = 0; i < 20000; ++i) {
        text += "\tw\n";
    }
    const HeaderMap headers = ParseHeaders(text + "\nbody");
    EXPECT_EQ(headers.size(), 20001u);
    EXPECT_EQ(HeaderValue(headers, "x-header-19999"), "19999");
    EXPECT_EQ(HeaderValue(headers, "Subject").size(), std::string("start").size() + 2 * 20000);
}

TEST(ExtractAddressTest, FindsTheFirstMailboxInLowerCase) {
    struct Case {
        std::string value;
        std::string address;
    };
    const std::vector<Case> cases = {
        {"John Doe <John.Doe@Example.COM>", "john.doe@example.com"},
        {"john@example.com", "john@example.com"},
        {"  JOHN@EXAMPLE.COM \t", "john@example.com"},
        {"<a@b.example>", "a@b.example"},
        {"< spaced@x.example >", "spaced@x.example"},
        {"\"Doe, John\" <j@x.example>", "j@x.example"},
        {"\"fake <no@x.example>\" <yes@x.example>", "yes@x.example"},
        {"\"esc \\\" <no@x.example>\" <yes@x.example>", "yes@x.example"},
        {"'John Doe' <j@x.example>", "j@x.example"},
        {"O'Neil <oneil@x.example>", "oneil@x.example"},
        {"O'Neil, Pat <p@x.example>", "o'neil"},
        {"john@x.example (John Doe)", "john@x.example"},
        {"(comment, <tricky>) real@x.example", "real@x.example"},
        {"\"John\" john@x.example", "john@x.example"},
        {"<a@b.example>, <c@d.example>", "a@b.example"},
        {"a@b.example, c@d.example", "a@b.example"},
        {"a@b.example; c@d.example", "a@b.example"},
        {"=?UTF-8?B?SsO2cmc=?= <Jorg@X.example>", "jorg@x.example"},
        {"J\xc3\x96RG <\xc3\x84"
         "Bc@X.example>",
         "\xc3\x84"
         "bc@x.example"},
        {"John\r\n <folded@x.example>", "folded@x.example"},
        {"", ""},
        {"<>", ""},
        {"   ", ""},
        {"\"only a name\"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ExtractAddress(c.value), c.address);
    }
}

TEST(ExtractAddressTest, UnclosedQuotesAndBracketsAreOrdinaryCharacters) {
    struct Case {
        std::string value;
        std::string address;
    };
    const std::vector<Case> cases = {
        {"John <j@x.example", "j@x.example"},
        {"\"unterminated <j@x.example>", "j@x.example"},
        {"(unterminated <j@x.example>", "j@x.example"},
        {"'unterminated <j@x.example>", "j@x.example"},
        {"<", ""},
        {"\"", ""},
        {"a@b.example\\", "a@b.example\\"},
        {"NUL\0<n@x.example>"s, "n@x.example"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ExtractAddress(c.value), c.address);
    }
}

TEST(ExtractAddressTest, StaysLinearOnMegabytesOfOpeners) {
    // Each unclosed opener must not rescan the rest of the value; quadratic work here would
    // not finish within the test's time limit.
    for (const std::string unit : {"(", "\"", " '", "(\"' "}) {
        SCOPED_TRACE(unit);
        std::string value;
        while (value.size() < 2 * 1024 * 1024) {
            value += unit;
        }
        EXPECT_EQ(ExtractAddress(value + "<last@x.example>"), "last@x.example");
    }
}

TEST(ComposeLetterTextTest, WritesTheHeadersInNameOrderAndLeavesOutEmptyOnes) {
    EXPECT_EQ(ComposeLetterText("me@x.example", "you@y.example", "Hi", "Body\nline 2", "<>"),
              "Content-Type: text/plain\nFrom: me@x.example\nMIME-Version: 1.0\n"
              "Return-Path: <>\nSubject: Hi\nTo: you@y.example\n\nBody\nline 2");
    EXPECT_EQ(ComposeLetterText("me@x.example", "", "", "", ""),
              "Content-Type: text/plain\nFrom: me@x.example\nMIME-Version: 1.0\n\n");
}

TEST(ComposeLetterTextTest, LineBreaksInAValueCannotAddHeaders) {
    const std::string text = ComposeLetterText(
        "me@x.example", "you@y.example", "Hi\nBcc: victim@z.example\n\nfake", "real body", "");
    const HeaderMap headers = ParseHeaders(text);
    EXPECT_EQ(headers.count("Bcc"), 0u);
    EXPECT_EQ(HeaderValue(headers, "Subject"), "Hi Bcc: victim@z.example  fake");
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "real body");
}

TEST(ComposeLetterTextTest, ParsesBackToItsParts) {
    const std::string text =
        ComposeLetterText("Ann <Ann@X.example>", "bob@y.example", "Re: it's [ABC]", "b", "<a@x>");
    const HeaderMap headers = ParseHeaders(text);
    EXPECT_EQ(ExtractAddress(HeaderValue(headers, "From")), "ann@x.example");
    EXPECT_EQ(ExtractAddress(HeaderValue(headers, "To")), "bob@y.example");
    EXPECT_EQ(HeaderValue(headers, "Subject"), "Re: it's [ABC]");
    EXPECT_EQ(HeaderValue(headers, "Return-Path"), "<a@x>");
}

TEST(TopOfTextTest, GivesTheHeaderBlockAndTheFirstLinesOfTheBody) {
    const std::string text = "A: 1\nB: 2\n\nl1\nl2\nl3";
    struct Case {
        int lines;
        std::string top;
    };
    const std::vector<Case> cases = {
        {-1, "A: 1\nB: 2\n\n"},
        {0, "A: 1\nB: 2\n\n"},
        {1, "A: 1\nB: 2\n\nl1\n"},
        {2, "A: 1\nB: 2\n\nl1\nl2\n"},
        {3, "A: 1\nB: 2\n\nl1\nl2\nl3\n"},
        {100, "A: 1\nB: 2\n\nl1\nl2\nl3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(TopOfText(text, c.lines), c.top);
    }
    EXPECT_EQ(TopOfText("A: 1", 5), "A: 1\n\n");
    EXPECT_EQ(TopOfText("A: 1\n\n", 5), "A: 1\n\n");
    EXPECT_EQ(TopOfText("A: 1\n\nl1\n", 5), "A: 1\n\nl1\n");
    EXPECT_EQ(TopOfText("A: 1\n\n\n\nl3", 2), "A: 1\n\n\n\n");
    EXPECT_EQ(TopOfText("", 3), "\n\n");
}

TEST(RemoveCarriageReturnsTest, DropsEveryCarriageReturn) {
    EXPECT_EQ(RemoveCarriageReturns("a\r\nb\rc\r\r\n\0d"s), "a\nbc\n\0d"s);
}

}  // namespace

// The header block cut from a text as received must be what the CR-free text gives.
TEST(ReceivedHeaderBlockOfTest, MatchesTheBlockOfTheTextWithoutCarriageReturns) {
    const struct {
        const char* label;
        std::string text;
    } cases[] = {
        {"CR LF blank line", "A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore"},
        {"LF only", "A: 1\nB: 2\n\nbody"},
        {"several CRs on the blank line", "A: 1\r\n\r\r\nbody"},
        {"CR inside a line is no blank line", "A: 1\n x\ry\nB: 2\r\n\r\nbody"},
        {"no blank line", "A: 1\r\nB: 2\r\n"},
        {"blank line first", "\r\nA: 1\r\n"},
        {"CRs at the end without a line feed", "A: 1\n\r\r"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RemoveCarriageReturns(ReceivedHeaderBlockOf(c.text)),
                  std::string(HeaderBlockOf(RemoveCarriageReturns(c.text))));
    }
}
