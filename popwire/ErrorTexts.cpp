#include "popwire/ErrorTexts.h"

#include "popwire.h"

namespace popwire {

namespace {

// ERROR_POP_NOHANDLES and ERROR_POP_NOTOWNER have no text of their own.
constexpr netframe::ErrorText kTexts[] = {
    {ERROR_POP_NETWORK, "Network subsystem failed to initialize"},
    {ERROR_POP_HANDLE, "Invalid handle passed to function"},
    {ERROR_POP_MEMORY, "Memory allocation failed"},
    {ERROR_POP_PARAMETER, "Invalid parameter passed to function"},
    {ERROR_POP_HOSTNAME, "Invalid host name specified"},
    {ERROR_POP_SOCKET, "Invalid socket descriptor passed to function"},
    {ERROR_POP_CONNECT, "Unable to establish connection with server"},
    {ERROR_POP_TIMEOUT, "Operation timed out waiting for response from server"},
    {ERROR_POP_SERVER, "Invalid response from server"},
    {ERROR_POP_READ, "Failed to read data from server"},
    {ERROR_POP_WRITE, "Failed to write data to server"},
    {ERROR_POP_RETRY, "Operation should be retried"},
    {ERROR_POP_OVERFLOW, "Internal buffer overflow"},
    {ERROR_POP_CLOSED, "Connection to server is closed"},
    {ERROR_POP_BLOCKED, "Blocking operation in progress"},
    {ERROR_POP_CANCELED, "Operation canceled by client"},
    {ERROR_POP_LOGIN, "Unable to login to server"},
    {ERROR_POP_NOLOGIN, "No user logged in on server"},
    {ERROR_POP_MESGID, "Invalid message identifier specified"},
    {ERROR_POP_STOREFILE, "Unable to store message in specified file"},
    {ERROR_POP_AUTHTYPE, "Authentication type not supported"},
    {ERROR_POP_AUTHFAIL, "User authentication failed"},
    {ERROR_POP_AUTHENTICATED, "User has already been authenticated"},
    {ERROR_POP_UNEXPECTED, "Unexpected result code returned by server"},
    {ERROR_POP_COMMAND, "Invalid command specified"},
    {ERROR_POP_CHANGEPASS, "Unable to change mailbox password"},
    {ERROR_POP_SENDFILE, "Unable to send message in specified file"},
    {ERROR_POP_CLIPBOARD, "Unable to access system clipboard"},
    {ERROR_POP_SECURE_INITIALIZE, "Unable to initialize security interface for this process"},
    {ERROR_POP_SECURE_CONTEXT, "Unable to establish security context for this session"},
    {ERROR_POP_SECURE_CREDENTIALS,
     "Unable to open client certificate store or establish client credentials"},
    {ERROR_POP_SECURE_CERTIFICATE, "Unable to validate server certificate"},
};

constexpr std::uint32_t kLowestCodeWithText = 26700;

}  // namespace

const netframe::ErrorTable& ErrorTexts() {
    static constexpr netframe::ErrorTable table(kTexts, kLowestCodeWithText);
    return table;
}

}  // namespace popwire
