#include "netframe/ErrorTable.h"

#include <string_view>

#include "netframe/TextConversion.h"

namespace netframe {

const char* ErrorTable::Find(std::uint32_t code) const {
    if (code < lowest) {
        return nullptr;
    }
    for (const auto& entry : entries) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

int ErrorTable::Copy(std::uint32_t code, char* buffer, int capacity) const {
    if (code < lowest || !buffer || capacity <= 0) {
        return 0;
    }
    const char* text = Find(code);
    return CopyTruncated(text ? std::string_view(text) : std::string_view(), buffer, capacity);
}

int ErrorTable::Copy(std::uint32_t code, char16_t* buffer, int capacity) const {
    if (code < lowest || !buffer || capacity <= 0) {
        return 0;
    }
    const char* text = Find(code);
    return CopyTruncated(ToUtf16(text ? text : ""), buffer, capacity);
}

}  // namespace netframe
