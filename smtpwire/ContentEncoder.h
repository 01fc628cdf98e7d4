#pragma once

#include <string>
#include <string_view>

namespace smtpwire {

// Turns the caller's message bytes, given in pieces of any size, into DATA content: every line
// end (CR LF, bare LF, bare CR) becomes CR LF, and a line that begins with "." gets a second
// one. A CR at the end of a piece waits for the next, so that a CR LF split between two pieces
// stays one line end. Owner thread of the session only.
class ContentEncoder {
public:
    // Appends the encoded form of `piece` to `out`.
    void Encode(std::string_view piece, std::string& out);
    // Appends what ends the content: the last line's end when it had none, and "." CR LF.
    void Finish(std::string& out);

private:
    bool atLineStart = true;
    bool pendingCr = false;
};

}  // namespace smtpwire
