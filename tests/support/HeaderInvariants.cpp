#include "support/HeaderInvariants.h"

#include <algorithm>

#include "database/ExtractAddress.h"
#include "database/MessageText.h"
#include "database/TrimWhiteSpace.h"

namespace moxeltest {

namespace {

bool HasOuterWhiteSpace(std::string_view text) {
    return !text.empty() && (kHeaderWhiteSpace.find(text.front()) != std::string_view::npos ||
                             kHeaderWhiteSpace.find(text.back()) != std::string_view::npos);
}

std::string CheckAddress(std::string_view value) {
    const std::string address = ExtractAddress(value);
    if (address.size() > value.size()) {
        return "ExtractAddress made the text longer";
    }
    if (std::any_of(address.begin(), address.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return "ExtractAddress left capital letters: " + address;
    }
    if (HasOuterWhiteSpace(address)) {
        return "ExtractAddress left white space around: " + address;
    }
    if (ExtractAddress(value) != address) {
        return "ExtractAddress is not repeatable";
    }
    return {};
}

std::string CheckHeaders(std::string_view input, const HeaderMap& headers) {
    std::size_t total = 0;
    for (const auto& [name, value] : headers) {
        if (name.find('\n') != std::string::npos || value.find('\n') != std::string::npos) {
            return "a header holds a line feed";
        }
        if (HasOuterWhiteSpace(name)) {
            return "a header name is not trimmed: " + name;
        }
        total += name.size() + value.size();
        if (std::string problem = CheckAddress(value); !problem.empty()) {
            return problem;
        }
    }
    // Continuations add one blank each at most; nothing else is invented.
    if (total > 2 * input.size()) {
        return "the headers are larger than the text";
    }
    return {};
}

std::string CheckTop(std::string_view input) {
    const std::string_view block = HeaderBlockOf(input);
    if (block.find("\n\n") != std::string_view::npos || input.substr(0, block.size()) != block) {
        return "HeaderBlockOf is not the text before the first empty line";
    }
    const std::string expectedStart = std::string(block) + "\n\n";
    std::size_t previous = 0;
    for (const int lines : {-1, 0, 1, 3, 1000000}) {
        const std::string top = TopOfText(input, lines);
        if (top.compare(0, expectedStart.size(), expectedStart) != 0) {
            return "TopOfText does not start with the header block";
        }
        if (top.size() > input.size() + 3 || top.size() < previous) {
            return "TopOfText has a wrong length";
        }
        previous = top.size();
    }
    return {};
}

std::string CheckComposition(const HeaderMap& headers) {
    const std::string subject = HeaderValue(headers, "Subject");
    const std::string sender = HeaderValue(headers, "From");
    const std::string composed =
        ComposeLetterText(sender, "to@x.example", subject, "body\n\nmore", "<>");
    const HeaderMap again = ParseHeaders(composed);
    std::string oneLine = subject;
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    if (HeaderValue(again, "Subject") != std::string(TrimWhiteSpace(oneLine))) {
        return "a composed subject does not parse back: " + subject;
    }
    if (HeaderValue(again, "Return-Path") != "<>" || HeaderValue(again, "To") != "to@x.example") {
        return "a composed letter lost a header";
    }
    if (!composed.ends_with("\n\nbody\n\nmore")) {
        return "a composed letter lost its body";
    }
    return {};
}

}  // namespace

std::string CheckHeaderInvariants(std::string_view input) {
    const HeaderMap headers = ParseHeaders(input);
    for (const auto& check : {CheckHeaders(input, headers), CheckAddress(input), CheckTop(input),
                              CheckComposition(headers)}) {
        if (!check.empty()) {
            return check;
        }
    }
    // The letter parses the text without carriage returns.
    const std::string withoutReturns = RemoveCarriageReturns(input);
    if (withoutReturns.find('\r') != std::string::npos) {
        return "a carriage return survived";
    }
    return CheckHeaders(withoutReturns, ParseHeaders(withoutReturns));
}

}  // namespace moxeltest
