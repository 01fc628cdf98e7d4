// Logging in with USER and PASS or APOP, and the mailbox figures read right after.
#include <openssl/evp.h>

#include <cstdio>
#include <string>

#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/Conversation.h"
#include "popwire/PopLibrary.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::ClientPointer;
using popwire::PopClient;

namespace {

// The APOP digest (RFC 1939, 7): MD5 of the time stamp, angle brackets included, followed by
// the password, as 32 lower-case hexadecimal digits. Empty when MD5 is not available.
std::string ApopDigest(const std::string& timeStamp, const std::string& password) {
    const std::string input = timeStamp + password;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        return {};
    }
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

bool LoginWithPassword(PopClient& client, const std::string& user, const std::string& password) {
    if (popwire::SendCommand(client, "USER", user) != 1) {
        return popwire::Refused(ERROR_POP_LOGIN);
    }
    if (popwire::SendCommand(client, "PASS", password) != 1) {
        return popwire::Refused(ERROR_POP_AUTHFAIL);
    }
    return true;
}

bool LoginWithApop(PopClient& client, const std::string& user, const std::string& password) {
    if (client.apopTimeStamp.empty()) {
        return Fail(ERROR_POP_AUTHTYPE, false);
    }
    if (user.empty() || password.empty()) {
        return Fail(ERROR_POP_PARAMETER, false);
    }
    const std::string digest = ApopDigest(client.apopTimeStamp, password);
    if (digest.empty()) {
        return Fail(ERROR_POP_AUTHTYPE, false);
    }
    if (popwire::SendCommand(client, "APOP", user + " " + digest) != 1) {
        return popwire::Refused(ERROR_POP_AUTHFAIL);
    }
    return true;
}

}  // namespace

extern "C" {

int PopLoginExA(HCLIENT handle, std::uint32_t authType, const char* user, const char* password) {
    const ClientPointer client = popwire::PopLibrary::Instance().Lookup(handle);
    if (!client) {
        return POP_ERROR;
    }
    if (client->authenticated) {
        return Fail(ERROR_POP_AUTHENTICATED, POP_ERROR);
    }
    const popwire::OperationDeadline deadline(*client, popwire::SendLimit(*client));
    const std::string userText = user ? user : "";
    const std::string passwordText = password ? password : "";
    bool loggedIn;
    switch (authType) {
        case POP_AUTH_PASS:
            loggedIn = LoginWithPassword(*client, userText, passwordText);
            break;
        case POP_AUTH_APOP:
            loggedIn = LoginWithApop(*client, userText, passwordText);
            break;
        default:
            return Fail(ERROR_POP_AUTHTYPE, POP_ERROR);
    }
    if (!loggedIn) {
        return POP_ERROR;
    }
    client->messageCount = 0;
    client->lastMessage = 0;
    client->mailboxSize = 0;
    // A server that refuses STAT still has the user logged in; the counts then stay 0. A STAT
    // without answer is no empty mailbox: the login fails with the session's failure.
    if (!popwire::ReadMailboxFigures(*client)) {
        return POP_ERROR;
    }
    client->authenticated = true;
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 0;
}

int PopLoginA(HCLIENT handle, const char* user, const char* password) {
    return PopLoginExA(handle, POP_AUTH_PASS, user, password);
}

}  // extern "C"
