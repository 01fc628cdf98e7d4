#include "shell/integration/PrefsFile.h"

#include <cctype>
#include <charconv>

namespace EmailClientIntegration {

namespace {

void SkipSpace(const std::string& text, std::size_t& pos) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])) != 0) {
        ++pos;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower >= 'a' && lower <= 'f') {
        return lower - 'a' + 10;
    }
    return -1;
}

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads `digits` hex digits at `pos`; -1 when they are not there.
long ReadHex(const std::string& text, std::size_t pos, int digits) {
    if (pos + static_cast<std::size_t>(digits) > text.size()) {
        return -1;
    }
    long value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexValue(text[pos + static_cast<std::size_t>(i)]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Decodes a quoted literal at `pos` (either quote), moving past it; nullopt when malformed.
std::optional<std::string> ReadLiteral(const std::string& text, std::size_t& pos) {
    if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) {
        return std::nullopt;
    }
    const char quote = text[pos++];
    std::string out;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == quote) {
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= text.size()) {
            return std::nullopt;
        }
        const char escaped = text[pos++];
        switch (escaped) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                const long code = ReadHex(text, pos, 2);
                if (code < 0) {
                    return std::nullopt;
                }
                pos += 2;
                AppendUtf8(out, static_cast<unsigned long>(code));
                break;
            }
            case 'u': {
                long code = ReadHex(text, pos, 4);
                if (code < 0) {
                    return std::nullopt;
                }
                pos += 4;
                // A surrogate pair written as two escapes.
                if (code >= 0xD800 && code < 0xDC00 && pos + 1 < text.size() && text[pos] == '\\' &&
                    text[pos + 1] == 'u') {
                    const long low = ReadHex(text, pos + 2, 4);
                    if (low >= 0xDC00 && low < 0xE000) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        pos += 6;
                    }
                }
                AppendUtf8(out, static_cast<unsigned long>(code));
                break;
            }
            default:
                out += escaped;
                break;
        }
    }
    return std::nullopt;
}

struct Statement {
    std::string name;
    std::string rawValue;
};

// `user_pref("name", value);` with any spacing, and a comment or nothing after it.
std::optional<Statement> ParseStatement(const std::string& line) {
    std::size_t pos = 0;
    SkipSpace(line, pos);
    static const std::string keyword = "user_pref";
    if (line.compare(pos, keyword.size(), keyword) != 0) {
        return std::nullopt;
    }
    pos += keyword.size();
    SkipSpace(line, pos);
    if (pos >= line.size() || line[pos++] != '(') {
        return std::nullopt;
    }
    SkipSpace(line, pos);
    auto name = ReadLiteral(line, pos);
    if (!name) {
        return std::nullopt;
    }
    SkipSpace(line, pos);
    if (pos >= line.size() || line[pos++] != ',') {
        return std::nullopt;
    }
    SkipSpace(line, pos);
    const std::size_t valueStart = pos;
    if (pos < line.size() && (line[pos] == '"' || line[pos] == '\'')) {
        if (!ReadLiteral(line, pos)) {
            return std::nullopt;
        }
    } else {
        while (pos < line.size() && (std::isalnum(static_cast<unsigned char>(line[pos])) != 0 ||
                                     line[pos] == '-' || line[pos] == '+')) {
            ++pos;
        }
        if (pos == valueStart) {
            return std::nullopt;
        }
    }
    const std::string rawValue = line.substr(valueStart, pos - valueStart);
    SkipSpace(line, pos);
    if (pos >= line.size() || line[pos++] != ')') {
        return std::nullopt;
    }
    SkipSpace(line, pos);
    if (pos >= line.size() || line[pos] != ';') {
        return std::nullopt;
    }
    return Statement{*name, rawValue};
}

std::string QuoteLiteral(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
                break;
        }
    }
    return out + "\"";
}

}  // namespace

PrefsFile::PrefsFile(const std::string& content) {
    bool inBlockComment = false;
    std::size_t start = 0;
    while (start < content.size()) {
        const auto newline = content.find('\n', start);
        const std::size_t end = newline == std::string::npos ? content.size() : newline + 1;
        Line line{content.substr(start, end - start), std::nullopt, {}};
        start = end;
        std::size_t pos = 0;
        SkipSpace(line.text, pos);
        if (inBlockComment) {
            inBlockComment = line.text.find("*/") == std::string::npos;
        } else if (line.text.compare(pos, 2, "/*") == 0) {
            inBlockComment = line.text.find("*/", pos + 2) == std::string::npos;
        } else if (auto statement = ParseStatement(line.text)) {
            line.prefName = std::move(statement->name);
            line.rawValue = std::move(statement->rawValue);
        }
        lines.push_back(std::move(line));
    }
}

std::optional<std::size_t> PrefsFile::Find(const std::string& name) const {
    for (std::size_t i = lines.size(); i > 0; --i) {
        if (lines[i - 1].prefName == name) {
            return i - 1;
        }
    }
    return std::nullopt;
}

std::optional<std::string> PrefsFile::GetString(const std::string& name) const {
    const auto index = Find(name);
    if (!index) {
        return std::nullopt;
    }
    std::size_t pos = 0;
    return ReadLiteral(lines[*index].rawValue, pos);
}

std::optional<long long> PrefsFile::GetInteger(const std::string& name) const {
    const auto index = Find(name);
    if (!index) {
        return std::nullopt;
    }
    const std::string& raw = lines[*index].rawValue;
    const char* begin = raw.data() + (raw.starts_with('+') ? 1 : 0);
    long long value = 0;
    const auto [stop, error] = std::from_chars(begin, raw.data() + raw.size(), value);
    if (error != std::errc() || stop != raw.data() + raw.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> PrefsFile::GetLine(const std::string& name) const {
    const auto index = Find(name);
    if (!index) {
        return std::nullopt;
    }
    return lines[*index].text;
}

void PrefsFile::SetLine(const std::string& name, const std::optional<std::string>& text) {
    const auto index = Find(name);
    if (!text) {
        if (index) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*index));
        }
        return;
    }
    const auto statement = ParseStatement(*text);
    Line line{*text, name, statement ? statement->rawValue : std::string()};
    if (index) {
        lines[*index] = std::move(line);
        return;
    }
    // A last line without its line end stays last, so that removing the new line again gives
    // back the same bytes.
    if (!lines.empty() && !lines.back().text.ends_with('\n')) {
        lines.insert(lines.end() - 1, std::move(line));
        return;
    }
    lines.push_back(std::move(line));
}

std::vector<std::string> PrefsFile::GetNames() const {
    std::vector<std::string> names;
    for (const auto& line : lines) {
        if (line.prefName) {
            names.push_back(*line.prefName);
        }
    }
    return names;
}

std::string PrefsFile::ToString() const {
    std::string out;
    for (const auto& line : lines) {
        out += line.text;
    }
    return out;
}

std::string PrefsFile::StringLine(const std::string& name, const std::string& value) {
    return "user_pref(" + QuoteLiteral(name) + ", " + QuoteLiteral(value) + ");\n";
}

std::string PrefsFile::IntegerLine(const std::string& name, long long value) {
    return "user_pref(" + QuoteLiteral(name) + ", " + std::to_string(value) + ");\n";
}

}  // namespace EmailClientIntegration
