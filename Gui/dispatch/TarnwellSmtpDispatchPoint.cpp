#include "dispatch/TarnwellSmtpDispatchPoint.h"

#include <popwire.h>
#include <smtpwire.h>

#include <algorithm>

#include "core/Exception.h"
#include "core/TimeCard.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/TextRemovalBatch.h"
#include "dispatch/RetrySchedule.h"
#include "dispatch/ServerAddress.h"
#include "dispatch/WriteText.h"

namespace {

constexpr char kUnknownSmtpError[] = "Unknown error when communicating with an SMTP server";
constexpr char kUnknownPopError[] = "Unknown error when communicating with a POP server";
constexpr int kErrorTextSize = 256;
constexpr int kDateTextSize = 128;

std::string SmtpErrorText() {
    char buffer[kErrorTextSize] = {};
    const int length = SmtpGetErrorStringA(SmtpGetLastError(), buffer, kErrorTextSize);
    if (length <= 0) {
        return kUnknownSmtpError;
    }
    return std::string(buffer, static_cast<std::size_t>(std::min(length, kErrorTextSize - 1)));
}

std::string PopErrorText() {
    char buffer[kErrorTextSize] = {};
    const int length = PopGetErrorStringA(PopGetLastError(), buffer, kErrorTextSize);
    if (length <= 0) {
        return kUnknownPopError;
    }
    return std::string(buffer, static_cast<std::size_t>(std::min(length, kErrorTextSize - 1)));
}

// The libraries take C strings: a NUL byte inside would cut the text short unseen.
const char* WholeText(const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos) {
        throw Exception(std::string("The ") + what + " holds a NUL byte");
    }
    return text.c_str();
}

// Logs in to the POP3 account; the session is closed right after, since the SMTP server only
// needs to have seen the login.
void LogInToPopServer(const std::string& setting, const std::string& user,
                      const std::string& password, std::int32_t timeoutInSeconds) {
    const ServerAddress server = ParsePopServerAddress(setting);
    const HCLIENT pop = PopConnectA(server.host.c_str(), static_cast<std::uint32_t>(server.port),
                                    static_cast<std::uint32_t>(timeoutInSeconds));
    if (pop == -1) {
        throw Exception(PopErrorText());
    }
    const int loggedIn =
        PopLoginA(pop, WholeText(user, "POP3 user name"), WholeText(password, "POP3 password"));
    const std::string error = loggedIn == -1 ? PopErrorText() : std::string();
    PopDisconnect(pop);
    if (loggedIn == -1) {
        throw Exception(error);
    }
}

void DeliverLocally(MailDeliveryPoint& point, const Letter& letter) {
    LetterBoxLock inbox(point.GetInbox());
    point.GetInbox()->AddLetter(letter);
}

}  // namespace

TarnwellSmtpDispatchPoint::TarnwellSmtpDispatchPoint() = default;

TarnwellSmtpDispatchPoint::TarnwellSmtpDispatchPoint(std::int64_t id) : data(id) {}

TarnwellSmtpDispatchPoint::~TarnwellSmtpDispatchPoint() {
    CloseSession();
}

LetterBox& TarnwellSmtpDispatchPoint::GetLetterBox() {
    return data.GetLettersToDispatch();
}

void TarnwellSmtpDispatchPoint::SetTimeoutInSeconds(std::int32_t seconds) {
    timeoutInSeconds = std::max(seconds, 1);
}

void TarnwellSmtpDispatchPoint::DispatchLetters(
    const Clock& clock, DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
    EventReporter& reporter) {
    // Declared first, so the box is closed only after the connection.
    LetterBoxLock lock(GetLetterBox());
    if (GetLetterBox().GetLetterCount() == 0) {
        return;
    }
    const std::string serverSetting = GetSmtpServerAddress();
    reporter.SendingMail(serverSetting);
    const ServerAddress server = ParseSmtpServerAddress(serverSetting);
    const Login login = ChosenLogin();
    if (login == Login::PopBeforeSmtp) {
        LogInToPopServer(GetPopServer(), GetPopUserName(), GetPopPassword(), timeoutInSeconds);
    }
    struct SessionCloser {
        TarnwellSmtpDispatchPoint& point;
        ~SessionCloser() { point.CloseSession(); }
    } closer{*this};
    OpenSession(server.host, server.port, login);
    const int sent = SendDueLetters(clock, deliveryPoints, reporter);
    reporter.MessagesSent(sent);
}

TarnwellSmtpDispatchPoint::Login TarnwellSmtpDispatchPoint::ChosenLogin() const {
    if (!IsAuthorizationEnabled()) {
        return Login::None;
    }
    switch (GetAuthorizationMethod()) {
        case 1:
            return Login::Smtp;
        case 2:
            return Login::PopBeforeSmtp;
        default:
            return Login::None;
    }
}

void TarnwellSmtpDispatchPoint::OpenSession(const std::string& host, std::int32_t port,
                                            Login login) {
    connection = SmtpConnectA(host.c_str(), port, timeoutInSeconds);
    if (connection == -1) {
        ThrowSmtpError();
    }
    if (SmtpHelloA(connection, nullptr, login == Login::Smtp ? 1 : 0) == -1) {
        ThrowSmtpError();
    }
    if (login == Login::Smtp &&
        SmtpAuthenticateA(connection, WholeText(GetUserName(), "SMTP user name"),
                          WholeText(GetPassword(), "SMTP password")) == -1) {
        ThrowSmtpError();
    }
}

void TarnwellSmtpDispatchPoint::CloseSession() noexcept {
    if (connection != -1) {
        SmtpDisconnect(connection);
        connection = -1;
    }
}

int TarnwellSmtpDispatchPoint::SendDueLetters(const Clock& clock,
                                              DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                                              EventReporter& reporter) {
    LetterBox& box = GetLetterBox();
    // A synced commit per letter would cost more than its sending: the texts of sent letters go
    // in groups, each letter's removal from the box still commits on its own.
    DatabaseLayer::TextRemovalBatch removals;
    int sent = 0;
    for (const std::int64_t id : box.GetLetterIds()) {
        TimeCard::Check();
        const LetterPtr letter = box.GetLetter(id);
        if (!letter || !RetrySchedule::IsDue(*letter, clock.Now())) {
            continue;
        }
        const bool giveUp = RetrySchedule::IsLastAttempt(*letter);
        if (TrySendLetter(letter, deliveryPoints, reporter, giveUp)) {
            // Not synced on its own (synchronous=NORMAL): a power failure may undo the removal
            // of a letter the server accepted, which is then sent once more. A letter is sent
            // twice at worst, never lost: it leaves the box only after the server took it.
            box.RemoveLetter(id);
            ++sent;
        } else if (giveUp) {
            box.RemoveLetter(id);
        } else {
            RetrySchedule::RecordFailedAttempt(*letter, clock.Now());
        }
    }
    return sent;
}

bool TarnwellSmtpDispatchPoint::TrySendLetter(const LetterPtr& letter,
                                              DatabaseLayer::MailDeliveryPointsData& deliveryPoints,
                                              EventReporter& reporter, bool giveUp) {
    try {
        reporter.SendingMessage(letter);
        const MailDeliveryPointPtr localPoint = deliveryPoints.FindByAddress(
            WholeText(letter->GetRecipient(), "letter's recipient address"));
        if (localPoint) {
            DeliverLocally(*localPoint, *letter);
        } else {
            SendLetter(*letter);
        }
        reporter.MessageSent(letter);
        return true;
    } catch (const Exception& error) {
        reporter.MessageNotSent(letter, error.GetDescription(), giveUp);
    } catch (...) {
        reporter.MessageNotSent(letter, "Unknown exception", giveUp);
    }
    return false;
}

void TarnwellSmtpDispatchPoint::SendLetter(const Letter& letter) {
    if (SmtpSetSenderA(connection, WholeText(letter.GetSender(), "letter's sender address")) ==
        -1) {
        ThrowSmtpError();
    }
    if (SmtpAddRecipientA(connection,
                          WholeText(letter.GetRecipient(), "letter's recipient address")) == -1) {
        ThrowSmtpError();
    }
    char date[kDateTextSize] = {};
    if (SmtpGetDateTimeA(date, kDateTextSize) == -1) {
        ThrowSmtpError();
    }
    const PieceWriter write = [this](const char* piece, int length) {
        return SmtpWrite(connection, piece, length);
    };
    if (!WriteText(std::string("Date: ") + date + "\n", write) ||
        !WriteText(letter.GetText(), write)) {
        ThrowSmtpError();
    }
    if (SmtpEndMessage(connection) == -1) {
        ThrowSmtpError();
    }
}

void TarnwellSmtpDispatchPoint::ThrowSmtpError() {
    throw Exception(SmtpErrorText());
}
