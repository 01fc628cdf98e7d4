#include "database/LetterBoxKey.h"

#include <optional>

#include "core/Exception.h"

namespace {

std::optional<LetterBoxKey> TryParse(const std::string& text) {
    const auto first = text.find('/');
    const auto last = text.rfind('/');
    if (first == std::string::npos || first == last) {
        return std::nullopt;
    }
    std::string address = text.substr(0, first);
    std::string user = text.substr(first + 1, last - first - 1);
    std::string host = text.substr(last + 1);
    if (address.empty() || user.empty() || user.find('/') != std::string::npos || host.empty()) {
        return std::nullopt;
    }
    return LetterBoxKey(std::move(address), std::move(user), std::move(host));
}

}  // namespace

LetterBoxKey::LetterBoxKey(std::string addressIn, std::string userNameIn, std::string hostIn)
    : address(std::move(addressIn)), userName(std::move(userNameIn)), host(std::move(hostIn)) {}

LetterBoxKey LetterBoxKey::Parse(const std::string& text) {
    auto key = TryParse(text);
    if (!key) {
        throw Exception("Invalid LetterBoxKey");
    }
    return *std::move(key);
}

bool LetterBoxKey::IsValid(const std::string& text) {
    return TryParse(text).has_value();
}

std::string LetterBoxKey::ToString() const {
    return address + "/" + userName + "/" + host;
}
