#pragma once

#include <string>

// Names one protected account and its letter boxes: the account's e-mail address, its POP3
// user name and its POP3 server host. Its text form "address/user/host" is the user name the
// mail program sends to the local POP3 server and the delivery point's stored key.
// A plain value; any thread.
class LetterBoxKey {
public:
    LetterBoxKey(std::string address, std::string userName, std::string host);

    // Parses the text form: the address before the first "/", the host after the last "/" and
    // the user name between. Throws Exception "Invalid LetterBoxKey" unless the first and last
    // "/" differ and all three parts are non-empty (the user name then holds no "/").
    static LetterBoxKey Parse(const std::string& text);
    // True when Parse would accept the text.
    static bool IsValid(const std::string& text);

    // "address/user/host".
    std::string ToString() const;

    const std::string& GetAddress() const { return address; }
    const std::string& GetUserName() const { return userName; }
    const std::string& GetHost() const { return host; }

    bool operator==(const LetterBoxKey& other) const = default;

private:
    std::string address;
    std::string userName;
    std::string host;
};
