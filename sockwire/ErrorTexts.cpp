#include "sockwire/ErrorTexts.h"

#include "sockwire.h"

namespace sockwire {

namespace {

constexpr netframe::ErrorText kTexts[] = {
    {ERROR_INET_NETWORK, "Network subsystem failed to initialize"},
    {ERROR_INET_NOHANDLES, "No handles available to this process"},
    {ERROR_INET_NOTOWNER, "Window is not owned by the thread that created the handle"},
    {ERROR_INET_HANDLE, "Invalid handle passed to function"},
    {ERROR_INET_MEMORY, "Memory allocation failed"},
    {ERROR_INET_PARAMETER, "Invalid parameter passed to function"},
    {ERROR_INET_PROTOCOL, "Invalid protocol specified"},
    {ERROR_INET_EVENTID, "Invalid event identifier specified"},
    {ERROR_INET_LOCALHOST, "Unable to determine local host name"},
    {ERROR_INET_HOSTNAME, "Invalid host name specified"},
    {ERROR_INET_HOSTADDRESS, "Invalid host address specified"},
    {ERROR_INET_OPTION, "Invalid socket option specified"},
    {ERROR_INET_SOCKET, "Invalid socket descriptor passed to function"},
    {ERROR_INET_BIND, "Unable to bind socket to specified address"},
    {ERROR_INET_CONNECT, "Unable to establish connection with server"},
    {ERROR_INET_ACCEPT, "Unable to accept connection from remote host"},
    {ERROR_INET_LISTEN, "Unable to listen for connections"},
    {ERROR_INET_READ, "Failed to read data from server"},
    {ERROR_INET_WRITE, "Failed to write data to server"},
    {ERROR_INET_TIMEOUT, "Operation timed out waiting for response from server"},
    {ERROR_INET_BLOCKED, "Blocking operation in progress"},
    {ERROR_INET_CANCELED, "Operation canceled by client"},
};

constexpr std::uint32_t kLowestCodeWithText = 10000;

}  // namespace

const netframe::ErrorTable& ErrorTexts() {
    static constexpr netframe::ErrorTable table(kTexts, kLowestCodeWithText);
    return table;
}

}  // namespace sockwire
