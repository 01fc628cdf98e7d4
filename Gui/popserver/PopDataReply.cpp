#include "popserver/PopDataReply.h"

#include <algorithm>

std::string PopDataReply(std::string_view text) {
    constexpr std::string_view kStatus = "+OK\r\n";
    constexpr std::string_view kEnd = ".\r\n";
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    std::string reply;
    // Room for a CR and a doubled dot on every line, and a line end of our own: never grown.
    reply.reserve(kStatus.size() + text.size() + 2 * lines + 4 + kEnd.size());
    reply.append(kStatus);
    // Whole lines are copied at once: a letter is mostly long lines without a leading dot.
    std::size_t start = 0;
    while (start < text.size()) {
        if (text[start] == '.') {
            reply += '.';
        }
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            reply.append(text.substr(start));
            break;
        }
        reply.append(text.substr(start, end - start));
        reply.append("\r\n");
        start = end + 1;
    }
    if (text.empty() || text.back() != '\n') {
        reply.append("\r\n");
    }
    reply.append(kEnd);
    return reply;
}
