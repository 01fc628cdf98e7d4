#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "smtpwire/Connection.h"
#include "smtpwire/ContentEncoder.h"

namespace smtpwire {

// A server reply: its code and its text (the lines after their codes, joined).
struct Reply {
    int code = 0;
    std::string text;                // the whole reply as a user would read it, bounded
    std::vector<std::string> lines;  // each line after its code, bounded
};

// One SMTP session: the dialogue behind the library's functions, in their order. Each public
// operation runs under one deadline (the session's time-out from its start). A failure of the
// transport, a time-out or a reply that makes no sense breaks the session: every later
// operation fails with kErrorBroken until the handle is closed, since the server's next reply
// could belong to an earlier command. Used by its owner thread only (Shutdown: any thread).
class Session {
public:
    Session(std::string hostName, int port, int timeoutSeconds);

    bool Connect();
    bool Hello(const std::string& domain);
    bool Authenticate(const std::string& user, const std::string& password);
    bool SetSender(const std::string& address);
    bool AddRecipient(const std::string& address);
    bool Write(std::string_view piece);
    bool EndMessage();
    // QUIT when the session is still in step; the connection is closed by the destructor.
    void Quit();
    void Shutdown() { connection.Shutdown(); }

    const std::thread::id owner = std::this_thread::get_id();

private:
    enum class State { Connected, Ready, Sender, Recipients, Content };

    Clock::time_point Deadline() const;
    bool CheckInStep();
    bool Break();
    bool Send(const std::string& command, Clock::time_point deadline);
    bool ReadReply(Reply& reply, Clock::time_point deadline);
    // Sends a command and reads its reply; false on a transport failure (session broken).
    bool Exchange(const std::string& command, Reply& reply, Clock::time_point deadline);
    // Fails with `code` and the server's reply as its detail.
    static bool Refused(std::uint32_t code, const Reply& reply);
    bool Greet(const std::string& domain, Clock::time_point deadline);
    bool ResetTransaction(Clock::time_point deadline);
    bool FlushContent(Clock::time_point deadline);
    bool BeginContent(Clock::time_point deadline);
    bool LoginPlain(const std::string& user, const std::string& password,
                    Clock::time_point deadline);
    bool LoginLogin(const std::string& user, const std::string& password,
                    Clock::time_point deadline);
    bool LoginCramMd5(const std::string& user, const std::string& password,
                      Clock::time_point deadline);
    bool FinishLogin(Reply& reply, Clock::time_point deadline);

    const std::string host;
    const int port;
    const int timeoutSeconds;
    Connection connection;
    State state = State::Connected;
    bool broken = false;
    bool transactionOpen = false;       // MAIL FROM was sent and the transaction not yet ended
    std::set<std::string> extensions;   // EHLO keywords, upper case
    std::set<std::string> authMethods;  // upper case
    ContentEncoder encoder;
    std::string pending;  // encoded content not yet sent
};

}  // namespace smtpwire
