#pragma once

#include <string>
#include <string_view>

namespace netframe {

// UTF-16 to UTF-8 for the W forms (invalid sequences are dropped). Null gives "".
std::string ToUtf8(const char16_t* text);
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16 for the results of the W forms (invalid sequences are dropped).
std::u16string ToUtf16(std::string_view text);

// Copies `text` into a caller's buffer of `capacity` units, truncated to capacity - 1 units
// (never in the middle of a character) and always terminated. Returns the units copied
// without the terminator; 0 and the buffer untouched when it is null or capacity <= 0.
int CopyTruncated(std::string_view text, char* buffer, int capacity);
int CopyTruncated(std::u16string_view text, char16_t* buffer, int capacity);

}  // namespace netframe
