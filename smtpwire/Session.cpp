#include "smtpwire/Session.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "smtpwire/Credentials.h"
#include "smtpwire/Errors.h"

namespace smtpwire {

namespace {

constexpr int kDefaultTimeout = 60;
constexpr int kSmtpsPort = 465;
// Bytes kept of one reply line and of a whole reply; the rest is read and dropped.
constexpr std::size_t kLineLimit = 1000;
constexpr std::size_t kReplyLimit = 4000;
// A reply of more lines than this is not an SMTP server talking.
constexpr int kMaximumReplyLines = 1000;
// Encoded content gathered before it goes out in one send.
constexpr std::size_t kSendBatch = 16 * 1024;
// QUIT waits no longer than this for its reply.
constexpr auto kQuitWait = std::chrono::seconds(5);

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string LocalHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

std::string Path(const std::string& address) {
    return !address.empty() && address.front() == '<' ? address : "<" + address + ">";
}

}  // namespace

Session::Session(std::string hostName, int portNumber, int timeout)
    : host(std::move(hostName)),
      port(portNumber),
      timeoutSeconds(timeout > 0 ? timeout : kDefaultTimeout) {}

Clock::time_point Session::Deadline() const {
    return Clock::now() + std::chrono::seconds(timeoutSeconds);
}

bool Session::CheckInStep() {
    return broken ? Fail(kErrorBroken, false) : true;
}

bool Session::Break() {
    broken = true;
    return false;
}

bool Session::Send(const std::string& command, Clock::time_point deadline) {
    return connection.Send(command + "\r\n", deadline) || Break();
}

bool Session::ReadReply(Reply& reply, Clock::time_point deadline) {
    reply = Reply{};
    std::string line;
    for (int count = 0; count < kMaximumReplyLines; ++count) {
        if (!connection.ReadLine(line, kLineLimit, deadline)) {
            return Break();
        }
        const bool numbered = line.size() >= 3 &&
                              std::isdigit(static_cast<unsigned char>(line[0])) &&
                              std::isdigit(static_cast<unsigned char>(line[1])) &&
                              std::isdigit(static_cast<unsigned char>(line[2])) &&
                              (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        if (!numbered) {
            SetError(kErrorProtocol, line);
            return Break();
        }
        reply.code = std::stoi(line.substr(0, 3));
        const std::string rest = line.size() > 4 ? line.substr(4) : std::string();
        reply.lines.push_back(rest);
        if (reply.text.size() < kReplyLimit) {
            reply.text += reply.text.empty() ? line : " " + rest;
        }
        if (line.size() == 3 || line[3] == ' ') {
            return true;
        }
    }
    SetError(kErrorProtocol, "endless reply");
    return Break();
}

bool Session::Exchange(const std::string& command, Reply& reply, Clock::time_point deadline) {
    return Send(command, deadline) && ReadReply(reply, deadline);
}

bool Session::Refused(std::uint32_t code, const Reply& reply) {
    return Fail(code, false, reply.text);
}

bool Session::Connect() {
    const auto deadline = Deadline();
    if (!connection.Open(host, port, deadline)) {
        return Break();
    }
    if (port == kSmtpsPort && !connection.StartTls(host, deadline)) {
        return Break();
    }
    Reply greeting;
    if (!ReadReply(greeting, deadline)) {
        return false;
    }
    return greeting.code == 220 || Refused(kErrorGreeting, greeting);
}

bool Session::Greet(const std::string& domain, Clock::time_point deadline) {
    extensions.clear();
    authMethods.clear();
    Reply reply;
    if (!Exchange("EHLO " + domain, reply, deadline)) {
        return false;
    }
    if (reply.code == 250) {
        // The first line names the server; each further one is an extension.
        for (std::size_t index = 1; index < reply.lines.size(); ++index) {
            const std::string line = Upper(reply.lines[index]);
            const std::size_t space = line.find(' ');
            extensions.insert(line.substr(0, space));
            if (line.compare(0, 4, "AUTH") == 0 && space != std::string::npos) {
                std::size_t start = space + 1;
                while (start < line.size()) {
                    const std::size_t end = std::min(line.find(' ', start), line.size());
                    authMethods.insert(line.substr(start, end - start));
                    start = end + 1;
                }
            }
        }
        return true;
    }
    // A server that knows no EHLO still speaks plain SMTP.
    if (!Exchange("HELO " + domain, reply, deadline)) {
        return false;
    }
    return reply.code == 250 || Refused(kErrorHello, reply);
}

bool Session::Hello(const std::string& givenDomain) {
    if (!CheckInStep()) {
        return false;
    }
    if (state == State::Content) {
        return Fail(kErrorSequence, false);
    }
    const auto deadline = Deadline();
    const std::string domain = givenDomain.empty() ? LocalHostName() : givenDomain;
    if (!Greet(domain, deadline)) {
        return false;
    }
    if (!connection.Secure() && extensions.count("STARTTLS")) {
        Reply reply;
        if (!Exchange("STARTTLS", reply, deadline)) {
            return false;
        }
        if (reply.code != 220) {
            return Refused(kErrorStartTls, reply);
        }
        // The server forgets everything it learned before TLS; so do we.
        if (!connection.StartTls(host, deadline)) {
            return Break();
        }
        if (!Greet(domain, deadline)) {
            return false;
        }
    }
    state = State::Ready;
    transactionOpen = false;
    return true;
}

bool Session::Authenticate(const std::string& user, const std::string& password) {
    if (!CheckInStep()) {
        return false;
    }
    if (state != State::Ready || transactionOpen) {
        return Fail(kErrorSequence, false);
    }
    if (!connection.Secure() && !connection.PeerIsLoopback()) {
        return Fail(kErrorInsecureLogin, false);
    }
    const auto deadline = Deadline();
    if (authMethods.count("CRAM-MD5")) {
        return LoginCramMd5(user, password, deadline);
    }
    if (authMethods.count("PLAIN")) {
        return LoginPlain(user, password, deadline);
    }
    if (authMethods.count("LOGIN")) {
        return LoginLogin(user, password, deadline);
    }
    return Fail(kErrorNoLoginMethod, false);
}

// The end of a login after the mechanism's last answer: 235, or refused. A server that asks for
// more than the mechanism has to give gets "*", which cancels the exchange (RFC 4954).
bool Session::FinishLogin(Reply& reply, Clock::time_point deadline) {
    if (reply.code == 334 && !Exchange("*", reply, deadline)) {
        return false;
    }
    return reply.code == 235 || Fail(kErrorLogin, false, reply.text);
}

bool Session::LoginPlain(const std::string& user, const std::string& password,
                         Clock::time_point deadline) {
    Reply reply;
    const std::string token = Base64Encode(std::string(1, '\0') + user + '\0' + password);
    if (!Exchange("AUTH PLAIN " + token, reply, deadline)) {
        return false;
    }
    return FinishLogin(reply, deadline);
}

bool Session::LoginLogin(const std::string& user, const std::string& password,
                         Clock::time_point deadline) {
    Reply reply;
    if (!Exchange("AUTH LOGIN", reply, deadline)) {
        return false;
    }
    for (const std::string* answer : {&user, &password}) {
        if (reply.code != 334) {
            return Refused(kErrorLogin, reply);
        }
        if (!Exchange(Base64Encode(*answer), reply, deadline)) {
            return false;
        }
    }
    return FinishLogin(reply, deadline);
}

bool Session::LoginCramMd5(const std::string& user, const std::string& password,
                           Clock::time_point deadline) {
    Reply reply;
    if (!Exchange("AUTH CRAM-MD5", reply, deadline)) {
        return false;
    }
    if (reply.code != 334) {
        return Refused(kErrorLogin, reply);
    }
    const std::string challenge = Base64Decode(reply.lines.empty() ? "" : reply.lines.front());
    if (!Exchange(Base64Encode(user + " " + CramMd5Digest(password, challenge)), reply, deadline)) {
        return false;
    }
    return FinishLogin(reply, deadline);
}

bool Session::ResetTransaction(Clock::time_point deadline) {
    Reply reply;
    if (!Exchange("RSET", reply, deadline)) {
        return false;
    }
    transactionOpen = false;
    state = State::Ready;
    return reply.code == 250 || Refused(kErrorSender, reply);
}

bool Session::SetSender(const std::string& address) {
    if (!CheckInStep()) {
        return false;
    }
    if (state == State::Connected || state == State::Content) {
        return Fail(kErrorSequence, false);
    }
    const auto deadline = Deadline();
    // A letter that failed part way leaves its transaction open; the next one starts afresh.
    if (transactionOpen && !ResetTransaction(deadline)) {
        return false;
    }
    std::string command = "MAIL FROM:" + Path(address);
    if (extensions.count("8BITMIME")) {
        command += " BODY=8BITMIME";
    }
    Reply reply;
    if (!Exchange(command, reply, deadline)) {
        return false;
    }
    if (reply.code != 250) {
        return Refused(kErrorSender, reply);
    }
    transactionOpen = true;
    state = State::Sender;
    return true;
}

bool Session::AddRecipient(const std::string& address) {
    if (!CheckInStep()) {
        return false;
    }
    if (state != State::Sender && state != State::Recipients) {
        return Fail(kErrorSequence, false);
    }
    Reply reply;
    if (!Exchange("RCPT TO:" + Path(address), reply, Deadline())) {
        return false;
    }
    if (reply.code != 250 && reply.code != 251) {
        return Refused(kErrorRecipient, reply);
    }
    state = State::Recipients;
    return true;
}

bool Session::BeginContent(Clock::time_point deadline) {
    Reply reply;
    if (!Exchange("DATA", reply, deadline)) {
        return false;
    }
    if (reply.code != 354) {
        return Refused(kErrorData, reply);
    }
    encoder = ContentEncoder();
    pending.clear();
    state = State::Content;
    return true;
}

bool Session::FlushContent(Clock::time_point deadline) {
    if (!connection.Send(pending, deadline)) {
        return Break();
    }
    pending.clear();
    return true;
}

bool Session::Write(std::string_view piece) {
    if (!CheckInStep()) {
        return false;
    }
    const auto deadline = Deadline();
    if (state == State::Recipients && !BeginContent(deadline)) {
        return false;
    }
    if (state != State::Content) {
        return Fail(kErrorSequence, false);
    }
    encoder.Encode(piece, pending);
    return pending.size() < kSendBatch || FlushContent(deadline);
}

bool Session::EndMessage() {
    if (!CheckInStep()) {
        return false;
    }
    const auto deadline = Deadline();
    if (state == State::Recipients && !BeginContent(deadline)) {
        return false;
    }
    if (state != State::Content) {
        return Fail(kErrorSequence, false);
    }
    encoder.Finish(pending);
    Reply reply;
    if (!FlushContent(deadline) || !ReadReply(reply, deadline)) {
        return false;
    }
    // Accepted or not, the server has ended the transaction.
    state = State::Ready;
    transactionOpen = false;
    return reply.code == 250 || Refused(kErrorMessage, reply);
}

void Session::Quit() {
    if (broken || state == State::Content) {
        return;
    }
    const auto deadline = std::min(Deadline(), Clock::now() + kQuitWait);
    Reply reply;
    Exchange("QUIT", reply, deadline);
}

}  // namespace smtpwire
