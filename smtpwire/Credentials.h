#pragma once

#include <string>
#include <string_view>

namespace smtpwire {

// The encodings of the login mechanisms. Any thread.
std::string Base64Encode(std::string_view bytes);
// Decodes `text`; what is not Base64 gives an empty result.
std::string Base64Decode(std::string_view text);
// The lower-case hex HMAC-MD5 of `challenge` keyed with `password` (RFC 2195).
std::string CramMd5Digest(std::string_view password, std::string_view challenge);

}  // namespace smtpwire
