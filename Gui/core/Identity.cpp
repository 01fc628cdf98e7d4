#include "core/Identity.h"

#include <cctype>

namespace Identity {

std::string GetBuildNumber(std::string_view revision) {
    const auto colon = revision.find(':');
    if (colon != std::string_view::npos) {
        revision.remove_prefix(colon + 1);
    }
    while (!revision.empty() && std::isspace(static_cast<unsigned char>(revision.front()))) {
        revision.remove_prefix(1);
    }
    std::string digits;
    for (const char c : revision) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            break;
        }
        digits += c;
    }
    if (digits.empty()) {
        return "no_build_number";
    }
    // Drop leading zeros as a decimal conversion would, keeping a single "0".
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

std::string GetVersion() {
    return "1.0." + GetBuildNumber(kBuildRevision);
}

}  // namespace Identity
