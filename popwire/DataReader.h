#pragma once

#include "popwire/PopClient.h"

namespace popwire {

// Hands out what the server sent, as PopRead and the status-line reader take it. Owner thread
// only.
//
// Outside multi-line data it copies one line: up to and including "\n"; when `capacity` runs
// out first, the rest of the line is read and dropped. In multi-line data it copies up to
// `capacity` bytes, removes the stuffed dot at the start of a line (on the first line only
// before a second dot, as Dovecot leaves that line unstuffed) and stops at the terminating line
// ("." alone), which it consumes and does not hand out; with
// POP_MODE_LINEBREAK it also stops after each line. Unless the line mode has POP_MODE_BINARY,
// every byte handed out is cut to 7 bits; line ends, stuffing and the terminator are found on
// the bytes as received. `capacity` must be above 0. All waits of one call end within the
// client's time-out (or the deadline of the operation around it); a failed wait breaks the
// session (Break).
//
// Returns the bytes copied; 0 when the terminating line came first. When the server closes
// the connection or does not answer in time, the bytes already copied are returned (the next
// call fails), unless `wholeLine` asks for a complete line, as status lines must be. Otherwise
// -1 with the last error (see FillReceiveBuffer).
enum class Completeness { AnyBytes, WholeLine };
int ReadServerData(PopClient& client, char* buffer, int capacity,
                   Completeness completeness = Completeness::AnyBytes);

// Starts reading a multi-line answer: the status line before it ended with CR LF, so its first
// line may be the terminator or stuffed.
void BeginMultiLine(PopClient& client);

}  // namespace popwire
