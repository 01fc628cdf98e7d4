#include "app/commands/JsonText.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

void AppendEscape(std::string& json, std::uint32_t unit) {
    char escaped[8];
    std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(unit));
    json += escaped;
}

// The code point of the valid UTF-8 sequence at `pos` and its length, or length 0.
std::pair<std::uint32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    std::uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        least = 0x10000;
    }
    if (length == 0 || pos + length > text.size()) {
        return {0, 0};
    }
    for (std::size_t i = pos + 1; i < pos + length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            return {0, 0};
        }
        point = (point << 6) | (byte & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return {0, 0};
    }
    return {point, length};
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            // Stored texts come from the network and need not be UTF-8: a byte that starts no
            // valid sequence would make the whole output invalid JSON, so it shows as U+FFFD.
            const auto [point, length] = DecodeUtf8(text, pos);
            if (length == 0) {
                AppendEscape(json, 0xFFFD);
                ++pos;
            } else if (point >= 0x10000) {
                AppendEscape(json, 0xD800 + ((point - 0x10000) >> 10));
                AppendEscape(json, 0xDC00 + ((point - 0x10000) & 0x3FF));
                pos += length;
            } else {
                AppendEscape(json, point);
                pos += length;
            }
            continue;
        }
        ++pos;
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    AppendEscape(json, byte);
                } else {
                    json += c;
                }
        }
    }
    return json + "\"";
}

std::string JsonStringArray(const std::vector<std::string>& texts) {
    std::string json = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        json += (i == 0 ? "" : ", ") + JsonString(texts[i]);
    }
    return json + "]";
}
