#include "netframe/TextConversion.h"

#include <algorithm>
#include <boost/locale/encoding_utf.hpp>

namespace netframe {

namespace {

bool IsUtf8Continuation(char unit) {
    return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string ToUtf8(const char16_t* text) {
    return text ? ToUtf8(std::u16string_view(text)) : std::string();
}

std::string ToUtf8(std::u16string_view text) {
    return boost::locale::conv::utf_to_utf<char>(text.data(), text.data() + text.size());
}

std::u16string ToUtf16(std::string_view text) {
    return boost::locale::conv::utf_to_utf<char16_t>(text.data(), text.data() + text.size());
}

int CopyTruncated(std::string_view text, char* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return 0;
    }
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    if (count < text.size()) {
        while (count > 0 && IsUtf8Continuation(text[count])) {
            --count;
        }
    }
    std::copy_n(text.data(), count, buffer);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

int CopyTruncated(std::u16string_view text, char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return 0;
    }
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    if (count < text.size() && count > 0 && IsLowSurrogate(text[count])) {
        --count;
    }
    std::copy_n(text.data(), count, buffer);
    buffer[count] = u'\0';
    return static_cast<int>(count);
}

}  // namespace netframe
