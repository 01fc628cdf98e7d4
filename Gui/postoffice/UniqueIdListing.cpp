#include "postoffice/UniqueIdListing.h"

#include <limits>

namespace {

// The longest id the library keeps of a single UIDL answer.
constexpr std::size_t kIdLimit = 127;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void ReadLine(std::string_view line, std::unordered_map<int, std::string>& ids) {
    std::size_t position = 0;
    long long number = 0;
    for (; position < line.size() && IsDigit(line[position]); ++position) {
        number = number * 10 + (line[position] - '0');
        if (number > std::numeric_limits<int>::max()) {
            return;
        }
    }
    if (position == 0 || number == 0) {
        return;
    }
    while (position < line.size() && IsSpace(line[position])) {
        ++position;
    }
    std::string_view id = line.substr(position);
    while (!id.empty() && IsSpace(id.back())) {
        id.remove_suffix(1);
    }
    id = id.substr(0, kIdLimit);
    id = id.substr(0, id.find('\0'));
    ids.try_emplace(static_cast<int>(number), id);
}

}  // namespace

UniqueIdListing::UniqueIdListing(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ReadLine(text.substr(0, end), ids);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

const std::string* UniqueIdListing::Find(int number) const {
    const auto found = ids.find(number);
    return found != ids.end() ? &found->second : nullptr;
}
