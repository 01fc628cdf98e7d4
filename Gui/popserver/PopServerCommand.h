#pragma once

#include <cstdint>
#include <string>

// One parsed request line of the local POP3 server. Blanks are space, tab, CR and LF; a name is
// a letter or "_" followed by letters, digits and "_"; a number is a C integer literal (0x hex,
// leading 0 octal, decimal, optional u/l/ul/lu/i64 suffix) clamped to the signed 32-bit range.
// A line holding a NUL byte is invalid, so no such text reaches the database.
class PopServerCommand {
public:
    enum Kind { OneNumber = 0, TwoNumbers = 1, NoArgument = 2, Text = 3, Invalid = 4 };

    // What the session does for each request; message numbers n count from 1.
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void List(int n) = 0;
        virtual void ListAll() = 0;
        virtual void Stat() = 0;
        virtual void Quit() = 0;
        virtual void Retr(int n) = 0;
        virtual void Dele(int n) = 0;
        virtual void Noop() = 0;
        virtual void Rset() = 0;
        virtual void Uidl(int n) = 0;
        virtual void UidlAll() = 0;
        virtual void Top(int n, int lines) = 0;
        virtual void User(const std::string& name) = 0;
        virtual void Pass(const std::string& password) = 0;
        virtual void InvalidCommand() = 0;
        // RFC 2449.
        virtual void Capa() = 0;
    };

    static PopServerCommand Parse(const std::string& line);
    // Calls the handler operation of the command's name and kind; InvalidCommand when there is
    // none.
    void Dispatch(Handler& handler) const;

    std::string name;
    Kind kind = Invalid;
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::string text;
};
