#pragma once

#include <string>
#include <string_view>

// The whole POP3 reply for a letter's text (RETR, TOP): "+OK", the text as data (CR LF line ends,
// a "." doubled at the start of a line, RFC 1939, 3) and the final ".", built in one buffer so
// that it can go out in as few writes as possible. `text` has line feeds only. A line end is
// added only where the text does not end with one, so that "." stands on its own line and no
// empty line is added.
std::string PopDataReply(std::string_view text);
