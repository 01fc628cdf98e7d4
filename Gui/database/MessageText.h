#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/HeaderMap.h"

// The layout of a stored message text (line feeds only): a header block, an empty line, a body.
// Pure functions over untrusted text; they never fail on any input. Any thread.

// The text up to the first "\n\n", or the whole text when it has none.
std::string_view HeaderBlockOf(std::string_view text);
// The header block of a text as received, CRs and all: RemoveCarriageReturns of it is
// HeaderBlockOf(RemoveCarriageReturns(text)), without going through the whole text.
std::string_view ReceivedHeaderBlockOf(std::string_view text);

// The headers of the header block. Lines are split at "\n" and empty lines skipped. A line that
// starts with a blank or a tab continues the previous header: it is appended, without its
// leading blanks and tabs, after one blank (a continuation of an empty value becomes the value).
// Any other line with a colon is a header: name before the first colon, value after it, both
// trimmed of blanks, tabs, CR and LF; a later header of the same name replaces the earlier one.
// Other lines, and continuations before the first header, are ignored.
HeaderMap ParseHeaders(std::string_view text);

// Every header of the header block in the order they stand, repeated names included, read by
// the same rules as ParseHeaders (folded lines joined, names and values trimmed).
using HeaderFields = std::vector<std::pair<std::string, std::string>>;
HeaderFields ParseHeaderFields(std::string_view text);

// The value of header `name`, or the empty text when the map has none.
std::string HeaderValue(const HeaderMap& headers, std::string_view name);

// The text of a letter the program writes itself: the headers "From", "To", "Content-Type"
// ("text/plain"), "MIME-Version" ("1.0"), "Subject" and "Return-Path", without those whose value
// is empty, as "Name: value" lines in header-name order, then "\n\n" and the body. Line breaks
// inside a value become blanks, so that no value can add headers or end the header block.
// `extra` headers join the others in the same order; one of the same name replaces the default.
std::string ComposeLetterText(const std::string& sender, const std::string& recipient,
                              const std::string& subject, const std::string& body,
                              const std::string& returnPath, const HeaderMap& extra = {});

// For the POP3 TOP command: the header block, "\n\n", then, when `lines` is above 0 and a body
// follows, the body's first `lines` lines, each ending with "\n".
std::string TopOfText(std::string_view text, int lines);

// The text without any carriage return.
std::string RemoveCarriageReturns(std::string_view text);
