#include "smtpwire/Errors.h"

#include "netframe/ErrorTable.h"
#include "netframe/LastError.h"

namespace smtpwire {

namespace {

constexpr netframe::ErrorText kTexts[] = {
    {kErrorParameter, "Invalid parameter passed to function"},
    {kErrorHandle, "Invalid handle passed to function"},
    {kErrorNotInitialized, "The SMTP library is not initialized"},
    {kErrorHostName, "Unable to resolve the SMTP server's host name"},
    {kErrorConnect, "Unable to establish connection with the SMTP server"},
    {kErrorTimeout, "Operation timed out waiting for response from the SMTP server"},
    {kErrorClosed, "The SMTP server closed the connection"},
    {kErrorTransport, "Failed to exchange data with the SMTP server"},
    {kErrorProtocol, "Invalid response from the SMTP server"},
    {kErrorBroken, "The connection to the SMTP server failed earlier and must be closed"},
    {kErrorTls, "Unable to establish a secure connection with the SMTP server"},
    {kErrorCertificate, "The SMTP server's certificate was refused"},
    {kErrorInsecureLogin, "Refusing to send the password over an unencrypted connection"},
    {kErrorNoLoginMethod, "The SMTP server offers no supported way to log in"},
    {kErrorSequence, "Function called out of order in the SMTP session"},
    {kErrorInternal, "Internal error in the SMTP library"},
    {kErrorGreeting, "The SMTP server refused the connection"},
    {kErrorHello, "The SMTP server refused the greeting"},
    {kErrorLogin, "The SMTP server refused the login"},
    {kErrorSender, "The SMTP server refused the sender"},
    {kErrorRecipient, "The SMTP server refused the recipient"},
    {kErrorData, "The SMTP server refused the message content"},
    {kErrorMessage, "The SMTP server refused the message"},
    {kErrorStartTls, "The SMTP server refused to start TLS"},
};
constexpr netframe::ErrorTable kTable(kTexts, kErrorParameter);

// The detail of the calling thread's last error.
thread_local std::string lastDetail;

}  // namespace

void SetError(std::uint32_t code, std::string_view detail) {
    netframe::SetLastErrorCode(code);
    lastDetail = Printable(detail);
}

std::uint32_t LastError() {
    return netframe::GetLastErrorCode();
}

std::string ErrorText(std::uint32_t code) {
    const char* fixed = kTable.Find(code);
    if (!fixed) {
        return {};
    }
    std::string text(fixed);
    if (code == LastError() && !lastDetail.empty()) {
        text += ": " + lastDetail;
    }
    return text;
}

std::string Printable(std::string_view text) {
    std::string result;
    for (const char byte : text.substr(0, kDetailLimit)) {
        const auto value = static_cast<unsigned char>(byte);
        if (value == '\r' || value == '\n') {
            result += ' ';
        } else {
            result += value >= 0x20 && value < 0x7f ? byte : '?';
        }
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    return result;
}

}  // namespace smtpwire
