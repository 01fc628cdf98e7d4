#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace popwire {

// Reading the parts of a status line's text (what follows "+OK "). Server text is hostile:
// every number saturates instead of overflowing, every kept text is bounded.

// The two numbers of a STAT answer ("count size"): the first run of digits and the next one;
// 0 for a missing number.
struct MailboxFigures {
    std::uint32_t messageCount = 0;
    std::uint32_t octets = 0;
};
MailboxFigures ParseMailboxFigures(std::string_view text);

// The size from a LIST answer ("number size"): the digits after the message number's digits
// and what follows them; 0 when missing.
std::uint32_t ParseMessageSize(std::string_view text);

// The identifier from a UIDL answer ("number identifier"): after the number and the white
// space behind it, without trailing white space, at most 127 bytes.
std::string ParseUniqueId(std::string_view text);

// The APOP time stamp of a greeting: from the first "<" to the next ">", both included, when it
// holds "@" and is at most 127 bytes long; otherwise empty.
std::string FindApopTimeStamp(std::string_view greeting);

// True when `text` starts with `word`, ignoring the case of ASCII letters.
bool StartsWithWord(std::string_view text, std::string_view word);

}  // namespace popwire
