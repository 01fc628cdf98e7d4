#include "database/MessageText.h"

#include <algorithm>

#include "database/TrimWhiteSpace.h"

namespace {

// A header value on one line: line breaks inside it become blanks.
std::string OneLine(const std::string& value) {
    std::string line = value;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

}  // namespace

std::string_view HeaderBlockOf(std::string_view text) {
    return text.substr(0, text.find("\n\n"));
}

std::string_view ReceivedHeaderBlockOf(std::string_view text) {
    for (std::size_t lineEnd = text.find('\n'); lineEnd != std::string_view::npos;
         lineEnd = text.find('\n', lineEnd + 1)) {
        // A line of nothing but CRs is empty once they are gone.
        const std::size_t next = text.find_first_not_of('\r', lineEnd + 1);
        if (next != std::string_view::npos && text[next] == '\n') {
            return text.substr(0, lineEnd);
        }
    }
    return text;
}

HeaderFields ParseHeaderFields(std::string_view text) {
    HeaderFields fields;
    const std::string_view block = HeaderBlockOf(text);
    std::size_t start = 0;
    while (start <= block.size()) {
        const std::size_t end = std::min(block.find('\n', start), block.size());
        const std::string_view line = block.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            const std::size_t textStart = line.find_first_not_of(" \t");
            if (!fields.empty() && textStart != std::string_view::npos) {
                std::string& value = fields.back().second;
                if (!value.empty()) {
                    value += ' ';
                }
                value.append(line.substr(textStart));
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        fields.emplace_back(std::string(TrimWhiteSpace(line.substr(0, colon))),
                            std::string(TrimWhiteSpace(line.substr(colon + 1))));
    }
    return fields;
}

HeaderMap ParseHeaders(std::string_view text) {
    HeaderMap headers;
    for (auto& [name, value] : ParseHeaderFields(text)) {
        headers.insert_or_assign(std::move(name), std::move(value));
    }
    return headers;
}

std::string HeaderValue(const HeaderMap& headers, std::string_view name) {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

std::string ComposeLetterText(const std::string& sender, const std::string& recipient,
                              const std::string& subject, const std::string& body,
                              const std::string& returnPath, const HeaderMap& extra) {
    HeaderMap all = {{"From", sender},        {"To", recipient},    {"Content-Type", "text/plain"},
                     {"MIME-Version", "1.0"}, {"Subject", subject}, {"Return-Path", returnPath}};
    for (const auto& [name, value] : extra) {
        all.insert_or_assign(name, value);
    }
    std::string text;
    for (const auto& [name, value] : all) {
        if (value.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += '\n';
        }
        text += name + ": " + OneLine(value);
    }
    return text + "\n\n" + body;
}

std::string TopOfText(std::string_view text, int lines) {
    const std::string_view header = HeaderBlockOf(text);
    std::string top(header);
    top += "\n\n";
    if (header.size() == text.size()) {
        return top;
    }
    const std::string_view body = text.substr(header.size() + 2);
    std::size_t pos = 0;
    for (int line = 0; line < lines && pos < body.size(); ++line) {
        const std::size_t end = body.find('\n', pos);
        if (end == std::string_view::npos) {
            top.append(body.substr(pos));
            top += '\n';
            break;
        }
        top.append(body.substr(pos, end + 1 - pos));
        pos = end + 1;
    }
    return top;
}

std::string RemoveCarriageReturns(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(result),
                 [](char c) { return c != '\r'; });
    return result;
}
