#include "postoffice/VerificationCode.h"

#include <boost/uuid/random_generator.hpp>
#include <cstdint>
#include <exception>

#include "core/Exception.h"
#include "database/LetterData.h"

namespace {

const char* const kNoUniqueId = "Internal error: Unable to create a unique identifier";

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

// The big-endian number in `count` bytes of `guid` from `first` on: the order in which the
// fields of a GUID are written out.
std::uint32_t Field(const boost::uuids::uuid& guid, std::size_t first, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        value = value << 8 | guid.data[i];
    }
    return value;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::string UniqueIdFromGuid(const boost::uuids::uuid& guid) {
    if (guid.is_nil()) {
        throw Exception(kNoUniqueId);
    }
    std::string id = Hex(Field(guid, 0, 4)) + Hex(Field(guid, 4, 2)) + Hex(Field(guid, 6, 2));
    for (std::size_t i = 8; i < 16; ++i) {
        id += Hex(guid.data[i]);
    }
    return id;
}

std::string CreateUniqueId() {
    boost::uuids::uuid guid{};
    try {
        // One generator per thread: it keeps a handle on the system's random source.
        thread_local boost::uuids::random_generator generator;
        guid = generator();
    } catch (const std::exception& error) {
        throw Exception(kNoUniqueId, Exception(error));
    }
    return UniqueIdFromGuid(guid);
}

std::string MakeVerificationCode() {
    std::string code = std::string(kVerificationCodePrefix) + CreateUniqueId();
    code.resize(kVerificationCodeLength, '0');
    return code;
}

bool ExtractVerificationCode(std::string_view text, std::string& code) {
    const std::size_t start = text.find(kVerificationCodePrefix);
    if (start == std::string_view::npos || text.size() - start < kVerificationCodeLength) {
        return false;
    }
    for (std::size_t i = start + kVerificationCodePrefix.size();
         i < start + kVerificationCodeLength; ++i) {
        if (!IsHexDigit(text[i])) {
            return false;
        }
    }
    code = std::string(text.substr(start, kVerificationCodeLength));
    return true;
}

bool LetterHasVerificationCode(const Letter& letter) {
    std::string code;
    return ExtractVerificationCode(letter.GetSubject(), code);
}
