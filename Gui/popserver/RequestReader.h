#pragma once

#include <cstddef>
#include <string>

// Cuts the bytes of a connection into request lines at each line feed (a carriage return before
// it stays in the line) and hands each complete line to its handler. One object per session
// thread.
class RequestReader {
public:
    class CommandHandler {
    public:
        virtual ~CommandHandler() = default;
        virtual void HandleCommand(const std::string& line) = 0;
    };

    // Longest line kept while waiting for its line feed; RFC 1939 allows 255 octets for a
    // request and 40 for an argument, so this leaves room without letting a client fill memory.
    static constexpr std::size_t kMaximumLineLength = 1024;
    // Lines handed out by one Feed before it fails.
    static constexpr int kMaximumLinesPerFeed = 128;

    void SetHandler(CommandHandler* value) { handler = value; }
    // Appends the bytes and hands out every complete line. A failure of the handler leaves the
    // lines after that one in the buffer; Feed(nullptr, 0) hands them out. Throws Exception
    // "RequestReader: Too many commands" after 128 lines in one call, and "RequestReader: Line
    // too long" when more than kMaximumLineLength bytes wait without a line feed.
    void Feed(const char* bytes, std::size_t length);
    // Whether a complete line waits to be handed out.
    bool HasCompleteLine() const;
    void Clear();

private:
    CommandHandler* handler = nullptr;
    std::string buffer;
    std::size_t handedOut = 0;
};
