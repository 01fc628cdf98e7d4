#pragma once

#include <string>
#include <string_view>

// A header value as a person reads it: RFC 2047 encoded words ("=?charset?B|Q?text?=") decoded
// for the character sets UTF-8, US-ASCII, ISO-8859-1 and ISO-8859-15 (Windows-1252 read as
// ISO-8859-1), the blanks between two encoded words dropped, and the result valid UTF-8: a
// byte that starts no valid UTF-8 sequence is read as ISO-8859-1, control characters become
// blanks. Words in other character sets stay as they are. For display only: stored texts keep
// the header as it came. Pure; never fails on any input; any thread.
std::string DecodeHeaderForDisplay(std::string_view value);
