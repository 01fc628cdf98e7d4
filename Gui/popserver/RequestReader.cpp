#include "popserver/RequestReader.h"

#include "core/Exception.h"

void RequestReader::Feed(const char* bytes, std::size_t length) {
    buffer.erase(0, handedOut);
    handedOut = 0;
    if (length > 0) {
        buffer.append(bytes, length);
    }
    for (int count = 0; count < kMaximumLinesPerFeed; ++count) {
        const std::size_t end = buffer.find('\n', handedOut);
        if (end == std::string::npos) {
            if (buffer.size() - handedOut > kMaximumLineLength) {
                throw Exception("RequestReader: Line too long");
            }
            return;
        }
        std::string line = buffer.substr(handedOut, end - handedOut);
        handedOut = end + 1;
        handler->HandleCommand(line);
    }
    throw Exception("RequestReader: Too many commands");
}

bool RequestReader::HasCompleteLine() const {
    return buffer.find('\n', handedOut) != std::string::npos;
}

void RequestReader::Clear() {
    buffer.clear();
    handedOut = 0;
}
