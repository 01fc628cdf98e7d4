#include "popserver/PopServerCommand.h"

#include <array>
#include <boost/algorithm/string/predicate.hpp>
#include <cctype>
#include <functional>
#include <limits>

namespace {

// A cursor over the line for the grammar of the request forms.
class Scanner {
public:
    explicit Scanner(const std::string& lineIn) : line(lineIn) {}

    std::size_t Position() const { return position; }
    void Reset(std::size_t value) { position = value; }
    bool AtEnd() const { return position == line.size(); }

    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // Skips blanks; returns how many.
    std::size_t SkipBlanks() {
        const std::size_t start = position;
        while (!AtEnd() && IsBlank(line[position])) {
            ++position;
        }
        return position - start;
    }

    bool BlanksToEnd() {
        SkipBlanks();
        return AtEnd();
    }

    bool Name(std::string& name) {
        if (AtEnd() || !(IsLetter(line[position]) || line[position] == '_')) {
            return false;
        }
        const std::size_t start = position;
        while (!AtEnd() &&
               (IsLetter(line[position]) || IsDigit(line[position]) || line[position] == '_')) {
            ++position;
        }
        name = line.substr(start, position - start);
        return true;
    }

    bool Number(std::int32_t& value) {
        int base = 10;
        std::size_t start = position;
        if (Peek(0) == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
            base = 16;
            start = position + 2;
        } else if (Peek(0) == '0') {
            base = 8;
        } else if (!IsDigit(Peek(0))) {
            return false;
        }
        std::size_t end = start;
        while (end < line.size() && DigitValue(line[end]) < base) {
            ++end;
        }
        if (end == start) {
            return false;
        }
        value = Clamp(start, end, base);
        position = end;
        SkipSuffix();
        return true;
    }

    // The text up to the first CR or LF or the end of the line, trimmed of blanks.
    std::string TextToLineEnd() {
        const std::size_t start = position;
        while (!AtEnd() && line[position] != '\r' && line[position] != '\n') {
            ++position;
        }
        std::size_t first = start;
        std::size_t last = position;
        while (first < last && IsBlank(line[first])) {
            ++first;
        }
        while (last > first && IsBlank(line[last - 1])) {
            --last;
        }
        return line.substr(first, last - first);
    }

private:
    static bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    char Peek(std::size_t offset) const {
        return position + offset < line.size() ? line[position + offset] : '\0';
    }
    static int DigitValue(char c) {
        if (IsDigit(c)) {
            return c - '0';
        }
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : 99;
    }

    std::int32_t Clamp(std::size_t start, std::size_t end, int base) const {
        constexpr std::int64_t kMaximum = std::numeric_limits<std::int32_t>::max();
        std::int64_t value = 0;
        for (std::size_t i = start; i < end; ++i) {
            value = value * base + DigitValue(line[i]);
            if (value > kMaximum) {
                // Digits are never negative, so only the upper end can be passed.
                return static_cast<std::int32_t>(kMaximum);
            }
        }
        return static_cast<std::int32_t>(value);
    }

    void SkipSuffix() {
        auto lower = [this](std::size_t offset) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(Peek(offset))));
        };
        if (lower(0) == 'i' && Peek(1) == '6' && Peek(2) == '4') {
            position += lower(3) == 'u' ? 4 : 3;
        } else if ((lower(0) == 'u' && lower(1) == 'l') || (lower(0) == 'l' && lower(1) == 'u')) {
            position += 2;
        } else if (lower(0) == 'u' || lower(0) == 'l') {
            position += 1;
        }
    }

    const std::string& line;
    std::size_t position = 0;
};

bool IsTextCommand(const std::string& name) {
    return boost::algorithm::iequals(name, "USER") || boost::algorithm::iequals(name, "PASS");
}

bool ParseText(Scanner& scanner, PopServerCommand& command) {
    if (scanner.SkipBlanks() == 0) {
        return false;
    }
    command.text = scanner.TextToLineEnd();
    if (command.text.empty() || !scanner.BlanksToEnd()) {
        return false;
    }
    command.kind = PopServerCommand::Text;
    return true;
}

bool ParseNumbers(Scanner& scanner, PopServerCommand& command) {
    const std::size_t afterName = scanner.Position();
    if (scanner.SkipBlanks() > 0 && scanner.Number(command.first)) {
        const std::size_t afterFirst = scanner.Position();
        if (scanner.BlanksToEnd()) {
            command.kind = PopServerCommand::OneNumber;
            return true;
        }
        scanner.Reset(afterFirst);
        if (scanner.SkipBlanks() > 0 && scanner.Number(command.second) && scanner.BlanksToEnd()) {
            command.kind = PopServerCommand::TwoNumbers;
            return true;
        }
    }
    scanner.Reset(afterName);
    if (scanner.BlanksToEnd()) {
        command.kind = PopServerCommand::NoArgument;
        return true;
    }
    return false;
}

}  // namespace

PopServerCommand PopServerCommand::Parse(const std::string& line) {
    PopServerCommand command;
    if (line.find('\0') != std::string::npos) {
        return command;
    }
    Scanner scanner(line);
    if (!scanner.Name(command.name)) {
        return command;
    }
    const std::size_t afterName = scanner.Position();
    // A user name or password made of digits stays text.
    if (IsTextCommand(command.name) && ParseText(scanner, command)) {
        return command;
    }
    scanner.Reset(afterName);
    if (ParseNumbers(scanner, command)) {
        return command;
    }
    scanner.Reset(afterName);
    if (!ParseText(scanner, command)) {
        command.kind = Invalid;
    }
    return command;
}

void PopServerCommand::Dispatch(Handler& handler) const {
    struct Verb {
        const char* name;
        Kind kind;
        std::function<void(Handler&, const PopServerCommand&)> action;
    };
    // One row per request form the server answers; any other name or form is invalid.
    static const std::array<Verb, 14> kVerbs{{
        {"USER", Text, [](Handler& h, const PopServerCommand& c) { h.User(c.text); }},
        {"PASS", Text, [](Handler& h, const PopServerCommand& c) { h.Pass(c.text); }},
        {"STAT", NoArgument, [](Handler& h, const PopServerCommand&) { h.Stat(); }},
        {"LIST", NoArgument, [](Handler& h, const PopServerCommand&) { h.ListAll(); }},
        {"LIST", OneNumber, [](Handler& h, const PopServerCommand& c) { h.List(c.first); }},
        {"UIDL", NoArgument, [](Handler& h, const PopServerCommand&) { h.UidlAll(); }},
        {"UIDL", OneNumber, [](Handler& h, const PopServerCommand& c) { h.Uidl(c.first); }},
        {"RETR", OneNumber, [](Handler& h, const PopServerCommand& c) { h.Retr(c.first); }},
        {"TOP", TwoNumbers,
         [](Handler& h, const PopServerCommand& c) { h.Top(c.first, c.second); }},
        {"DELE", OneNumber, [](Handler& h, const PopServerCommand& c) { h.Dele(c.first); }},
        {"NOOP", NoArgument, [](Handler& h, const PopServerCommand&) { h.Noop(); }},
        {"RSET", NoArgument, [](Handler& h, const PopServerCommand&) { h.Rset(); }},
        {"QUIT", NoArgument, [](Handler& h, const PopServerCommand&) { h.Quit(); }},
        {"CAPA", NoArgument, [](Handler& h, const PopServerCommand&) { h.Capa(); }},
    }};
    for (const Verb& verb : kVerbs) {
        if (verb.kind == kind && boost::algorithm::iequals(verb.name, name)) {
            verb.action(handler, *this);
            return;
        }
    }
    handler.InvalidCommand();
}
