// The reply that carries a letter (RETR, TOP) as it goes on the wire, built in one buffer.
#include <gtest/gtest.h>

#include "popserver/PopDataReply.h"

namespace {

TEST(PopDataReplyTest, DoublesLeadingDotsEndsLinesWithCrLfAndClosesWithADot) {
    const struct {
        const char* label;
        std::string text;
        std::string wire;
    } cases[] = {
        {"plain lines", "a\nbc\n", "+OK\r\na\r\nbc\r\n.\r\n"},
        {"dot first in the text", ".x\n", "+OK\r\n..x\r\n.\r\n"},
        {"lone dot and dots inside lines", "a\n.\n..b\nc.d\n",
         "+OK\r\na\r\n..\r\n...b\r\nc.d\r\n.\r\n"},
        {"no last line feed", "a\nlast", "+OK\r\na\r\nlast\r\n.\r\n"},
        {"last line a lone dot without line feed", "a\n.", "+OK\r\na\r\n..\r\n.\r\n"},
        {"empty lines", "\n\n", "+OK\r\n\r\n\r\n.\r\n"},
        {"empty text", "", "+OK\r\n\r\n.\r\n"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(PopDataReply(item.text), item.wire);
    }
}

}  // namespace
