#include "pingwire/Errors.h"

#include "netframe/ErrorTable.h"

namespace pingwire {

namespace {

constexpr netframe::ErrorText kTexts[] = {
    {kErrorParameter, "Invalid parameter passed to function"},
    {kErrorHandle, "Invalid handle passed to function"},
    {kErrorNotInitialized, "The ICMP library is not initialized"},
    {kErrorHostName, "Unable to resolve the host name"},
    {kErrorNoHost, "No host has been set for the echo"},
    {kErrorSocket, "Unable to open an ICMP socket (not permitted or not supported)"},
    {kErrorSend, "Unable to send the echo request (the host is unreachable)"},
    {kErrorTimeout, "No echo reply arrived within the time-out"},
    {kErrorReceive, "Failed to receive the echo reply"},
    {kErrorTooManyHandles, "Too many echo handles are open"},
    {kErrorInternal, "Internal error in the ICMP library"},
};
constexpr netframe::ErrorTable kTable(kTexts, kErrorParameter);

}  // namespace

int CopyErrorText(std::uint32_t code, char* buffer, int size) {
    return kTable.Copy(code, buffer, size);
}

}  // namespace pingwire
