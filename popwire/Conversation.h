#pragma once

#include <cstdint>
#include <string_view>

#include "popwire/PopClient.h"

namespace popwire {

// The one path of every POP3 command: a command line out, its status line in. Owner thread
// only.

// Longest status line kept, in bytes; the rest of a longer line is dropped.
inline constexpr int kStatusLineLimit = 511;
// A command line (with its CR LF) must be shorter than this.
inline constexpr std::size_t kCommandLineLimit = 256;

// Sends "word", or "word parameter" when the parameter is not empty, with CR LF, and reads the
// status line, all within the client's time-out (or the deadline of an operation around it).
// Returns 1 for "+OK"; 0 for "-ERR" with the last error cleared (the caller sets its own code,
// see Refused), and 0 on failure with the last error: the failure that broke the session
// earlier (nothing is sent then), ERROR_POP_BLOCKED (a reply is pending or multi-line data is
// being read, or queued commands await their answers), ERROR_POP_PARAMETER (empty word, line too
// long, CR or LF inside), the errors of SendData and ReadStatus.
int SendCommand(PopClient& client, std::string_view word, std::string_view parameter = {});

// Whether the next bytes from the server answer something sent already: a status line is
// pending, multi-line data is being read or queued commands await their status lines. No other
// command may be sent then (ERROR_POP_BLOCKED).
bool AwaitsServer(const PopClient& client);

// Sends a command line as SendCommand builds it without reading its status line, which
// ReadQueuedReply reads later (for servers that take commands in a pipeline, RFC 2449). False
// with the last error: the failure that broke the session earlier, ERROR_POP_BLOCKED (a status
// line is pending or multi-line data is being read), ERROR_POP_PARAMETER or the errors of
// SendData.
bool QueueCommand(PopClient& client, std::string_view word, std::string_view parameter = {});

// Reads the status line of the oldest queued command, with ReadStatus's results. 0 also with
// ERROR_POP_BLOCKED (a status line is pending or multi-line data is being read) and
// ERROR_POP_COMMAND (no command is queued).
int ReadQueuedReply(PopClient& client);

// Reads the pending status line (the greeting or a command's answer) into the client's result
// and result text; without one, returns the last result. Delivers POP_EVENT_COMMAND. Returns 1
// for "+OK" (a greeting's APOP time stamp is kept); 0 for "-ERR" (last error cleared), for a
// line with neither (ERROR_POP_UNEXPECTED; the event carries ERROR_POP_SERVER) and when
// reading fails (its error; the session is then out of step, see Break).
int ReadStatus(PopClient& client);

// Sends STAT and, when the server answers "+OK", takes the message count (also the last
// message number) and the mailbox size from it; otherwise leaves them alone. False with the
// last error when the exchange broke the session (a refusal is no failure here).
bool ReadMailboxFigures(PopClient& client);

// For an operation that failed because of a command: stores `code` unless a transport or
// protocol error is already set (the server's "-ERR" leaves none). Returns false.
bool Refused(std::uint32_t code);

}  // namespace popwire
