#include "smtpwire/Credentials.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <vector>

namespace smtpwire {

std::string Base64Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

std::string Base64Decode(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() % 4 != 0) {
        return {};
    }
    std::string bytes(3 * text.size() / 4 + 1, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) {
        return {};
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t size = static_cast<std::size_t>(length);
    for (std::size_t pad = text.size(); pad > 0 && text[pad - 1] == '='; --pad) {
        --size;
    }
    bytes.resize(size);
    return bytes;
}

std::string CramMd5Digest(std::string_view password, std::string_view challenge) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), password.data(), static_cast<int>(password.size()),
         reinterpret_cast<const unsigned char*>(challenge.data()), challenge.size(), digest,
         &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int index = 0; index < length; ++index) {
        hex += kHex[digest[index] >> 4];
        hex += kHex[digest[index] & 15];
    }
    return hex;
}

}  // namespace smtpwire
