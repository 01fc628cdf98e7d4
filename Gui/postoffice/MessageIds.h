#pragma once

#include <string>

// Message-IDs of the letters the program writes and of the letters they answer. Any thread.

// A new, unique "<seconds.random@domain>": the current time, 64 random bits and the domain of
// `accountAddress` (its text after the last "@", cut to the characters a domain may hold), or
// "moxel.invalid" when that leaves nothing.
std::string MakeMessageId(const std::string& accountAddress);

// The first "<...>" of a Message-ID header value (RFC 5322 msg-id), or the empty text when it
// has none, or when it holds anything but visible ASCII or is longer than 250 bytes: the value
// comes from the network and goes into the headers of a letter the program writes.
std::string CleanMessageId(const std::string& value);
