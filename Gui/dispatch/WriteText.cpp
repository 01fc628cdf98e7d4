#include "dispatch/WriteText.h"

#include <algorithm>
#include <cstddef>

namespace {

std::string WithCrLf(const std::string& text) {
    std::string converted;
    converted.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}

}  // namespace

bool WriteText(const std::string& text, const PieceWriter& write) {
    const std::string wire = WithCrLf(text);
    std::size_t written = 0;
    while (written < wire.size()) {
        const int length =
            static_cast<int>(std::min<std::size_t>(kPieceSize, wire.size() - written));
        const int taken = write(wire.data() + written, length);
        if (taken < 1 || taken > length) {
            return false;
        }
        written += static_cast<std::size_t>(taken);
    }
    return true;
}
