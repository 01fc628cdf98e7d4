#pragma once

#include <string>
#include <string_view>

// The address of the first mailbox of a header value such as "From" or "To", in lower case
// (ASCII letters only); the empty text when none is found. Never fails on any input; any thread.
//
// Angle form first: the display name (up to the first "<", ";" or "," outside quoted texts and
// comments) is skipped; when a "<" follows, the address is the text up to the next ">" (to the
// end when there is none). Otherwise the plain form: after leading blanks and an optional quoted
// text or comment, the text up to the first "(", double quote, "," or ";".
//
// Quoted texts are in double quotes, or in single quotes that open a word; a backslash escapes
// the next character inside them and inside comments (in parentheses, not nested). A quote or
// parenthesis that is never closed is an ordinary character, so "O'Neil <o@x>" still works.
std::string ExtractAddress(std::string_view value);
