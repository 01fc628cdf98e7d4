#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "popserver/MailDrop.h"
#include "popserver/PopServerCommand.h"
#include "popserver/RequestReader.h"
#include "popserver/ThreadSocketServerSession.h"

class EventReporter;
class PopPostOffice;

// The POP3 conversation (RFC 1939, with CAPA of RFC 2449) with the user's mail program over one
// connection of the local server: USER names the account by its letter box key, PASS opens
// its inbox, and DELE marks take effect only at QUIT. Only a client of the same operating-system
// user is served. Everything runs on the session's worker thread, except RequestStop.
class PopServerSession : public ThreadSocketServerSession,
                         public RequestReader::CommandHandler,
                         public PopServerCommand::Handler {
public:
    // Receives one line about a refused client, for the application log; any session thread.
    using RefusalLog = std::function<void(const std::string&)>;

    class NonFatalError : public Exception {
    public:
        using Exception::Exception;
    };

    static constexpr int kLoginTimeoutSeconds = 30;
    static constexpr std::chrono::milliseconds kIdleLimit = std::chrono::seconds(60);

    // A client that sends nothing, or takes nothing of a reply, for `idleLimit` is dropped.
    PopServerSession(ThreadSocketServer& server, PopPostOffice& postOffice,
                     std::shared_ptr<EventReporter> reporter, RefusalLog refusalLog,
                     std::chrono::milliseconds idleLimit = kIdleLimit);

    void RequestStop() override;
    void HandleCommand(const std::string& line) override;

    void List(int n) override;
    void ListAll() override;
    void Stat() override;
    void Quit() override;
    void Retr(int n) override;
    void Dele(int n) override;
    void Noop() override;
    void Rset() override;
    void Uidl(int n) override;
    void UidlAll() override;
    void Top(int n, int lines) override;
    void User(const std::string& name) override;
    void Pass(const std::string& password) override;
    void InvalidCommand() override;
    void Capa() override;

protected:
    void Serve() override;
    void OnSessionStart() override;
    void OnSessionEnd() override;
    bool IsStopRequested() const override { return stopRequested.load(); }

private:
    enum State { Running = 0, Stopping = 1, Ended = 2 };

    // Whether the client's socket belongs to the user this program runs as; refuses and logs
    // the client otherwise.
    bool AdmitPeer();
    void RunRequestLoop();
    // Reads once (at most 64 bytes) and handles every line that is complete, also those that
    // came after a failed one.
    void ReadAndHandle();
    // Waits for bytes in short slices so that a stop request is seen; throws when the client
    // stays silent for the idle time-out.
    bool WaitForBytes();
    void Reply(const std::string& line);
    // A multi-line reply, each line announced, all written at once: small writes one after
    // another would wait for the client's delayed acknowledgements.
    void ReplyLines(const std::vector<std::string>& lines);
    // "+OK", the text as POP3 data (CR LF line ends, dots doubled) and the final ".", in one
    // write.
    void SendData(const std::string& text);

    RequestReader reader;
    std::atomic<int> state{Ended};
    std::atomic<bool> stopRequested{false};
    MailDrop mailDrop;
    std::string userName;
    std::shared_ptr<EventReporter> reporter;
    RefusalLog refusalLog;
    const std::chrono::milliseconds idleLimit;
};
