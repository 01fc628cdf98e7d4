#include "postoffice/MessageIds.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace {

constexpr std::size_t kLongestMessageId = 250;

bool IsDomainCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

std::uint64_t RandomBits() {
    // One generator per thread, seeded from the system: ids made at the same second in two
    // threads or two processes still differ.
    thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }()};
    return generator();
}

}  // namespace

std::string MakeMessageId(const std::string& accountAddress) {
    const std::size_t at = accountAddress.rfind('@');
    std::string domain;
    if (at != std::string::npos) {
        for (const char c : accountAddress.substr(at + 1)) {
            if (IsDomainCharacter(c)) {
                domain += c;
            }
        }
    }
    if (domain.empty()) {
        domain = "moxel.invalid";
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    char local[64];
    std::snprintf(local, sizeof(local), "%lld.%016llx", static_cast<long long>(seconds),
                  static_cast<unsigned long long>(RandomBits()));
    return "<" + std::string(local) + "@" + domain + ">";
}

std::string CleanMessageId(const std::string& value) {
    const std::size_t open = value.find('<');
    if (open == std::string::npos) {
        return std::string();
    }
    const std::size_t close = value.find('>', open + 1);
    if (close == std::string::npos || close == open + 1 || close + 1 - open > kLongestMessageId) {
        return std::string();
    }
    const std::string id = value.substr(open, close + 1 - open);
    for (std::size_t i = 1; i + 1 < id.size(); ++i) {
        const auto byte = static_cast<unsigned char>(id[i]);
        if (byte <= 0x20 || byte >= 0x7f || id[i] == '<') {
            return std::string();
        }
    }
    return id;
}
