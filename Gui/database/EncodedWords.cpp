#include "database/EncodedWords.h"

#include <algorithm>
#include <optional>

#include "database/LowerAscii.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : (c == '/' ? 63 : -1);
}

std::string DecodeQ(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes += ' ';
        } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::string DecodeB(std::string_view text) {
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const int value = Base64Value(c);
        if (value < 0) {
            continue;  // padding and anything foreign
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

void AppendLatin1(std::string& out, unsigned char byte) {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
}

// The length of the valid UTF-8 sequence at `pos`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = pos + 1; i < pos + length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    // Overlong forms, UTF-16 surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

// Valid UTF-8 with printable characters: see DecodeHeaderForDisplay.
std::string ValidUtf8(std::string_view text, bool latin1) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out += (byte < 0x20 || byte == 0x7F) ? ' ' : static_cast<char>(byte);
            ++pos;
            continue;
        }
        const std::size_t length = latin1 ? 0 : Utf8Length(text, pos);
        if (length == 0) {
            // ISO-8859-1 has no printable characters from 0x80 to 0x9F.
            if (byte < 0xA0) {
                out += '?';
            } else {
                AppendLatin1(out, byte);
            }
            ++pos;
            continue;
        }
        out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

// The decoded text of the encoded word at the start of `text` and its length, or nullopt when
// none starts there or its character set is not one of ours.
std::optional<std::pair<std::string, std::size_t>> EncodedWordAt(std::string_view text) {
    if (text.substr(0, 2) != "=?") {
        return std::nullopt;
    }
    const std::size_t charsetEnd = text.find('?', 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
        text[charsetEnd + 2] != '?') {
        return std::nullopt;
    }
    const std::size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string charset = LowerAscii(text.substr(2, charsetEnd - 2));
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language tag
    const char encoding = static_cast<char>(text[charsetEnd + 1] | 0x20);
    const std::string_view encoded = text.substr(charsetEnd + 3, end - charsetEnd - 3);
    if (encoded.find_first_of(" \t") != std::string_view::npos ||
        (encoding != 'q' && encoding != 'b')) {
        return std::nullopt;
    }
    const std::string bytes = encoding == 'q' ? DecodeQ(encoded) : DecodeB(encoded);
    bool latin1 = false;
    if (charset == "iso-8859-1" || charset == "iso-8859-15" || charset == "latin1" ||
        charset == "windows-1252") {
        latin1 = true;
    } else if (charset != "utf-8" && charset != "us-ascii") {
        return std::nullopt;
    }
    return std::make_pair(ValidUtf8(bytes, latin1), end + 2);
}

}  // namespace

std::string DecodeHeaderForDisplay(std::string_view value) {
    // Decoded words are valid UTF-8 already; the plain bytes around them are checked at the end.
    std::string out;
    std::string blanks;
    bool afterWord = false;
    for (std::size_t pos = 0; pos < value.size();) {
        if (const auto word = EncodedWordAt(value.substr(pos))) {
            // Blanks between two encoded words belong to neither (RFC 2047, 6.2).
            if (!afterWord) {
                out += blanks;
            }
            blanks.clear();
            out += word->first;
            pos += word->second;
            afterWord = true;
            continue;
        }
        const char c = value[pos++];
        if (c == ' ' || c == '\t') {
            blanks += c;
            continue;
        }
        out += blanks;
        blanks.clear();
        out += c;
        afterWord = false;
    }
    return ValidUtf8(out + blanks, false);
}
