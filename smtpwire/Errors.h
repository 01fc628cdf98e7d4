#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace smtpwire {

// The library's error codes (the calling thread's last error) and their texts.
enum ErrorCode : std::uint32_t {
    kErrorNone = 0,
    kErrorParameter = 28001,
    kErrorHandle = 28002,
    kErrorNotInitialized = 28003,
    kErrorHostName = 28004,
    kErrorConnect = 28005,
    kErrorTimeout = 28006,
    kErrorClosed = 28007,
    kErrorTransport = 28008,
    kErrorProtocol = 28009,
    kErrorBroken = 28010,
    kErrorTls = 28011,
    kErrorCertificate = 28012,
    kErrorInsecureLogin = 28013,
    kErrorNoLoginMethod = 28014,
    kErrorSequence = 28015,
    kErrorInternal = 28016,
    // The server refused; the text carries the server's own reply.
    kErrorGreeting = 28020,
    kErrorHello = 28021,
    kErrorLogin = 28022,
    kErrorSender = 28023,
    kErrorRecipient = 28024,
    kErrorData = 28025,
    kErrorMessage = 28026,
    kErrorStartTls = 28027,
};

// Longest detail kept with an error (a server reply, a certificate fault), in bytes.
inline constexpr std::size_t kDetailLimit = 200;

// Sets the calling thread's last error; `detail` (a server reply, a reason) follows the fixed
// text in the error text. Returns `result`.
void SetError(std::uint32_t code, std::string_view detail = {});
template <typename T>
T Fail(std::uint32_t code, T result, std::string_view detail = {}) {
    SetError(code, detail);
    return result;
}

std::uint32_t LastError();

// The full text of `code` for the calling thread: the fixed text, and the detail when `code`
// is the thread's last error. Empty for an unknown code.
std::string ErrorText(std::uint32_t code);

// `text` made safe for an error text: control and non-ASCII bytes become '?', line breaks a
// space, at most kDetailLimit bytes.
std::string Printable(std::string_view text);

}  // namespace smtpwire
