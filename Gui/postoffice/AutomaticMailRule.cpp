#include "postoffice/AutomaticMailRule.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "database/LowerAscii.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return LowerAscii(a) == LowerAscii(b);
}

// The first word of a header value, lower case: "Auto-Submitted: auto-replied (vacation)" and
// "Precedence: bulk; x" name their keyword first (RFC 3834 allows comments and parameters).
std::string Keyword(std::string_view value) {
    const std::size_t end = value.find_first_of(" \t;(");
    return LowerAscii(value.substr(0, end));
}

// For the log line: printable ASCII, at most 60 bytes.
std::string Shown(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, 60)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += (byte >= 0x20 && byte < 0x7f) ? c : '?';
    }
    return shown;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Local parts that belong to programs, not people.
constexpr std::array<std::string_view, 4> kMachineNames = {"mailer-daemon", "postmaster", "noreply",
                                                           "no-reply"};
constexpr std::string_view kOwnerPrefix = "owner-";
constexpr std::array<std::string_view, 2> kMachineSuffixes = {"-request", "-bounces"};

AutomaticMailVerdict JudgeHeader(const std::string& name, const std::string& value) {
    if (SameName(name, "Auto-Submitted")) {
        const std::string keyword = Keyword(value);
        if (!keyword.empty() && keyword != "no") {
            return {true, "Auto-Submitted: " + Shown(value)};
        }
    } else if (SameName(name, "Precedence")) {
        const std::string keyword = Keyword(value);
        if (keyword == "bulk" || keyword == "list" || keyword == "junk") {
            return {true, "Precedence: " + Shown(value)};
        }
    } else if (SameName(name, "List-Id") || SameName(name, "List-Unsubscribe")) {
        return {true, "a " + Shown(name) + " header"};
    }
    return {};
}

AutomaticMailVerdict JudgeSender(const std::string& sender) {
    const std::size_t at = sender.rfind('@');
    const std::string local = LowerAscii(std::string_view(sender).substr(0, at));
    const bool machine =
        std::find(kMachineNames.begin(), kMachineNames.end(), local) != kMachineNames.end() ||
        StartsWith(local, kOwnerPrefix) ||
        std::any_of(kMachineSuffixes.begin(), kMachineSuffixes.end(),
                    [&local](std::string_view suffix) { return EndsWith(local, suffix); });
    if (machine) {
        return {true, "the sender " + Shown(sender) + " is a program"};
    }
    return {};
}

}  // namespace

AutomaticMailVerdict JudgeAutomaticMail(const HeaderFields& headers, const std::string& sender) {
    for (const auto& [name, value] : headers) {
        if (auto verdict = JudgeHeader(name, value); verdict.automatic) {
            return verdict;
        }
    }
    return JudgeSender(sender);
}
