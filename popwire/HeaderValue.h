#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "popwire/PopClient.h"

namespace popwire {

// The value of a header of a message, asked of the server with "XTND XLST header number". The
// server lists every occurrence as a line "number header: value"; the value of a line is the
// text after its first ":" with white space trimmed, the last line wins and lines without ":"
// are skipped. Empty when the server lists none. Owner thread only; the exchange ends within
// the client's time-out (or the deadline of the operation around it).
//
// Nullopt with the last error: ERROR_POP_COMMAND when the server refuses XTND XLST, now or
// earlier on this client (then nothing is sent, and the session stays usable), or the errors
// of SendCommand and of reading the list (a time-out breaks the session).
std::optional<std::string> HeaderValue(PopClient& client, int number, std::string_view header);

// Keeps the client's line mode with the given bits set or cleared for a scope, and puts the
// caller's mode back afterwards.
class LineModeOverride {
public:
    LineModeOverride(PopClient& owner, std::uint32_t set, std::uint32_t clear)
        : client(owner), saved(owner.lineMode) {
        client.lineMode = (saved | set) & ~clear;
    }
    ~LineModeOverride() { client.lineMode = saved; }
    LineModeOverride(const LineModeOverride&) = delete;
    LineModeOverride& operator=(const LineModeOverride&) = delete;

private:
    PopClient& client;
    std::uint32_t saved;
};

// The calling thread's client of `handle` when it is logged in and in step; null with
// ERROR_POP_HANDLE, the failure that broke the session, or ERROR_POP_NOLOGIN.
ClientPointer LoggedInClient(HCLIENT handle);

}  // namespace popwire
