#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "popwire.h"
#include "postoffice/PopClient.h"
#include "postoffice/PopwireStopScope.h"
#include "postoffice/TarnwellPopClientData.h"
#include "postoffice/UniqueIdListing.h"

// A POP client over the popwire library in blocking mode: the account's real POP3 server.
// Messages are read in binary line mode, so that a stored letter is the server's message byte
// for byte (8-bit text included), and in blocks of 256 bytes, with a stop check after each.
// Every library failure becomes Exception with the library's text and " (Host Name: <host>
// User Name: <user>)".
//
// On port 995 the session is TLS from the first byte, and a server whose certificate fails the
// check is refused before the login. On any other port the session switches to TLS with STLS
// when the server offers it; a certificate that fails the check there only gives a warning
// (plain text would be worse), but an offered STLS that fails ends the download: it never goes
// on in plain text, which is what an attacker who broke the TLS start would want.
//
// The session handle belongs to the thread that connected: one object on one thread (the mail
// collection thread); other threads use the account through objects of their own.
class TarnwellPopClient : public PopClient {
public:
    // The port of POP3 over TLS: the session is TLS from the first byte (popwire does that for
    // this port), and a server whose certificate fails the check is refused before the login.
    static constexpr std::int32_t kTlsPort = 995;

    // A new account; its row is not persistent until its owner keeps it.
    TarnwellPopClient(const std::string& hostName, const std::string& userName,
                      const std::string& password, std::int32_t port,
                      std::int32_t timeoutInSeconds);
    // The existing account `id`.
    explicit TarnwellPopClient(std::int64_t id);
    // Ends a session that is still open; errors are ignored.
    ~TarnwellPopClient() override;
    TarnwellPopClient(const TarnwellPopClient&) = delete;
    TarnwellPopClient& operator=(const TarnwellPopClient&) = delete;

    // Connects with the stored host, port and time-out (TLS as above), logs in and asks for the
    // server's capabilities (CAPA); a session
    // still open from an earlier failure is closed first. Throws TimeCardException when work
    // is over before or while connecting, or once connected (the half-made session is closed
    // by the destructor or the next Connect).
    void Connect() override;
    int GetMessageCount() override;
    // Downloads message `index` (0-based) into `letter`: an empty store file first, then the
    // whole text in memory, written once at its end. Throws TimeCardException when work is
    // over after a block.
    void GetMessage(int index, Letter& letter) override;
    // GetMessage without storing: the text is left pending in the letter.
    void ReceiveMessage(int index, Letter& letter) override;
    // When the server lists PIPELINING (asked with CAPA at the login), up to 32 RETRs are
    // sent ahead of their answers; otherwise one at a time. A failure or a stop leaves the
    // commands in flight unanswered: the session can then only be closed, without QUIT.
    void ReceiveMessages(const std::vector<int>& indexes, const TakeMessage& take) override;
    // Marks every message for deletion (DELEs pipelined as RETRs are). On a failure or a stop
    // the session's deletions are reset first, so nothing is deleted.
    void DeleteAllMessages() override;
    void DeleteMessages(const std::vector<int>& indexes) override;
    // Ends the session (the server deletes the marked messages now). A failure leaves the
    // handle as it is. Throws TimeCardException when a stop cut QUIT short: whether the
    // server deleted anything is then unknown.
    void Disconnect() override;
    std::string GetMessageId(int index) override;
    DatabaseLayer::PopClientData& GetData() override { return data; }
    // The certificate warning of the last connection, if it had one.
    std::vector<std::string> TakeWarnings() override;

    // The handle of the session; -1 while not connected.
    std::int32_t GetHandle() const { return handle; }

private:
    // Throws Exception "The certificate of the POP3 server cannot be trusted: <why> (Host Name:
    // <host> User Name: <user>)" unless the session's certificate passed the check.
    void RequireTrustedCertificate();
    // Notes a warning when the session is TLS and its certificate failed the check.
    void NoteUntrustedCertificate();
    // The security of the open session; throws the POP error when the library refuses.
    SECURITYINFO Security();
    // Throws the POP error of a failed connection: for a TLS start that the server offered,
    // with a text that says so.
    [[noreturn]] void ThrowConnectError();
    // The error text of the library's last error on this thread, with the host and user.
    std::string PopErrorText();
    [[noreturn]] void ThrowPopError();
    // Throws TimeCardException when a stop cancelled the session's last call.
    void EndIfStopped(std::uint32_t error);
    // Closes the open session (a stop no longer reaches it); false when the library refused.
    bool CloseSession();
    // Sends `command` with the message number `number` and reads "+OK"; a refusal throws the
    // POP error with ERROR_POP_MESGID, a failure with its own error.
    void SendCommand(const char* command, int number);
    // Returns when `result` (of a command) is 1; throws as SendCommand otherwise.
    void RequireAccepted(int result);
    // Sends `command` with `number` without reading its answer; a failure throws the POP error.
    void QueueCommand(const char* command, int number);
    // How many commands may await their answers at once: kPipelineDepth when the server lists
    // PIPELINING, else 1.
    std::size_t CommandsAhead() const;
    // Asks the server for its capabilities (CAPA); true when they list PIPELINING, false also
    // when it refuses CAPA.
    bool OffersPipelining();
    // Reads a multi-line answer (a listing) whose "+OK" was read, with a stop check after each
    // block.
    std::string ReadMultiLineAnswer();
    // Reads the text of a message whose "+OK" was read into the letter's pending text.
    void ReadMessageText(Letter& letter);
    // Reads the answers of the `unanswered` DELEs still in flight, then resets the session's
    // deletions.
    void UndoDeletions(std::size_t unanswered);
    // Undoes the deletions as UndoDeletions, then throws the last error (TimeCardException for
    // a stop).
    [[noreturn]] void FailDeletion(std::size_t unanswered);
    // The session's UIDL listing; empty when the server refused it.
    UniqueIdListing FetchIdListing();

    DatabaseLayer::TarnwellPopClientData data;
    std::int32_t handle = -1;
    // From connecting until the session is closed: a stop ends whatever popwire waits for,
    // so that a silent server does not hold the stop for the whole time-out.
    std::optional<PopwireStopScope> stopScope;
    std::vector<std::string> warnings;
    // The ids of the open session's messages, fetched at the first id asked for.
    std::optional<UniqueIdListing> idListing;
    // Whether the open session's server takes pipelined commands (asked at the login).
    bool pipelining = false;
};
