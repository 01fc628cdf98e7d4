#include "smtpwire/ContentEncoder.h"

namespace smtpwire {

void ContentEncoder::Encode(std::string_view piece, std::string& out) {
    for (const char byte : piece) {
        if (pendingCr) {
            pendingCr = false;
            out += "\r\n";
            atLineStart = true;
            if (byte == '\n') {
                continue;
            }
        }
        if (byte == '\r') {
            pendingCr = true;
            continue;
        }
        if (byte == '\n') {
            out += "\r\n";
            atLineStart = true;
            continue;
        }
        if (atLineStart && byte == '.') {
            out += '.';
        }
        out += byte;
        atLineStart = false;
    }
}

void ContentEncoder::Finish(std::string& out) {
    if (pendingCr || !atLineStart) {
        out += "\r\n";
    }
    out += ".\r\n";
    pendingCr = false;
    atLineStart = true;
}

}  // namespace smtpwire
