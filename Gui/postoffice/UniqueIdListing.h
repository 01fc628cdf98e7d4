#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

// The server's answer to UIDL without an argument: one "number id" line per message (RFC 1939),
// asked once per session instead of once per message. Each id is cut as a single UIDL answer
// is (white space around it removed, at most 127 bytes, nothing from a NUL byte on), so that an
// id stored by an earlier run compares equal whichever way it was asked.
class UniqueIdListing {
public:
    // Reads the listing's data (the lines after the status line, without the final ".").
    // Lines without a message number are ignored.
    explicit UniqueIdListing(std::string_view text);
    // An empty listing: the server refused it.
    UniqueIdListing() = default;

    // The id of message `number` (1-based), or null when the listing has no line for it.
    const std::string* Find(int number) const;

private:
    std::unordered_map<int, std::string> ids;
};
