#pragma once

#include <cstdint>
#include <string>

#include "dispatch/DispatchPoint.h"
#include "dispatch/TarnwellSmtpDispatchPointData.h"

// The dispatch point that sends through the user's SMTP server with the smtpwire library and,
// for POP-before-SMTP, logs in to a POP3 account with popwire first. A letter that fails stays
// in the box and is tried again on the retry schedule; after its ninth failed attempt it is
// dropped. A letter addressed to one of the user's own protected addresses is put into that
// account's inbox instead of being sent.
//
// The settings are read from the row at the moment of each call, nothing is cached, so a change
// made by the settings dialog holds for the next run. The SMTP connection exists only inside a
// run, on the thread of that run (the collection thread or the settings test's worker); an
// object is used by one thread at a time.
class TarnwellSmtpDispatchPoint : public DispatchPoint {
public:
    // What a connection waits at most for each call to the server, unless changed.
    static constexpr std::int32_t kDefaultTimeoutInSeconds = 60;

    // A new dispatch point with a new, empty box; not persistent until its owner keeps it.
    TarnwellSmtpDispatchPoint();
    // The existing dispatch point `id` (built through the type registry for type 1).
    explicit TarnwellSmtpDispatchPoint(std::int64_t id);
    // Closes a connection a failed run might have left; never throws.
    ~TarnwellSmtpDispatchPoint() override;
    TarnwellSmtpDispatchPoint(const TarnwellSmtpDispatchPoint&) = delete;
    TarnwellSmtpDispatchPoint& operator=(const TarnwellSmtpDispatchPoint&) = delete;

    LetterBox& GetLetterBox() override;
    // Opens the box (Exception "Unable to open LetterBox" when another thread holds it); with
    // letters in it, raises SendingMail, logs in as configured, and tries every due letter on
    // one connection (SendingMessage, then MessageSent or MessageNotSent), raises MessagesSent
    // with the number that went out, and disconnects. The box is closed and the connection
    // closed on every way out. A stop request (TimeCardException) is checked before each letter;
    // letters not yet tried keep their counts.
    void DispatchLetters(const Clock& clock, DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                         EventReporter& reporter) override;
    DatabaseLayer::TarnwellSmtpDispatchPointData& GetData() override { return data; }

    // "host" (port 25), "host:587" (submission) or "host:465" (TLS from the first byte).
    std::string GetSmtpServerAddress() const { return data.GetSmtpServerAddress(); }
    void SetSmtpServerAddress(const std::string& value) { data.SetSmtpServerAddress(value); }
    bool IsAuthorizationEnabled() const { return data.IsAuthorizationEnabled(); }
    void SetAuthorizationEnabled(bool value) { data.SetAuthorizationEnabled(value); }
    std::int32_t GetAuthorizationMethod() const { return data.GetAuthorizationMethod(); }
    void SetAuthorizationMethod(std::int32_t value) { data.SetAuthorizationMethod(value); }
    std::string GetUserName() const { return data.GetUserName(); }
    void SetUserName(const std::string& value) { data.SetUserName(value); }
    std::string GetPassword() const { return data.GetPassword(); }
    void SetPassword(const std::string& value) { data.SetPassword(value); }
    std::string GetPopServer() const { return data.GetPopServer(); }
    void SetPopServer(const std::string& value) { data.SetPopServer(value); }
    std::string GetPopUserName() const { return data.GetPopUserName(); }
    void SetPopUserName(const std::string& value) { data.SetPopUserName(value); }
    std::string GetPopPassword() const { return data.GetPopPassword(); }
    void SetPopPassword(const std::string& value) { data.SetPopPassword(value); }

    // The deadline of each exchange with the SMTP and POP3 servers; not stored (tests shorten
    // it). Values below 1 are taken as 1.
    void SetTimeoutInSeconds(std::int32_t seconds);
    // The connection handle; -1 outside a run.
    std::int32_t GetConnection() const { return connection; }

protected:
    // One mail transaction on the open connection: envelope, the Date line, the letter's text,
    // end of message. Throws Exception with the library's error text.
    virtual void SendLetter(const Letter& letter);

private:
    enum class Login { None, Smtp, PopBeforeSmtp };
    Login ChosenLogin() const;
    // Connects and greets (and logs in when asked); the connection is closed again on failure.
    void OpenSession(const std::string& host, std::int32_t port, Login login);
    void CloseSession() noexcept;
    // Tries every due letter of the open box; returns how many went out.
    int SendDueLetters(const Clock& clock, DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                       EventReporter& reporter);
    // One letter: events, local delivery or SendLetter. False when it failed.
    bool TrySendLetter(const LetterPtr& letter,
                       DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                       EventReporter& reporter, bool giveUp);
    [[noreturn]] static void ThrowSmtpError();

    DatabaseLayer::TarnwellSmtpDispatchPointData data;
    // Owned by the thread of the running run; -1 outside a run.
    std::int32_t connection = -1;
    std::int32_t timeoutInSeconds = kDefaultTimeoutInSeconds;
};
