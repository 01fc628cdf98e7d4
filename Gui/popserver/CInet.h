#pragma once

#include <cstdint>
#include <string>

#include "sockwire.h"

// One blocking sockwire connection. Initialises the library for its lifetime; the handle
// belongs to the thread that accepted it, which alone may use it.
class CInet {
public:
    CInet();
    ~CInet();
    CInet(const CInet&) = delete;
    CInet& operator=(const CInet&) = delete;

    void Attach(SOCKET handle) { socket = handle; }
    SOCKET GetSocket() const { return socket; }
    // Closes the connection when there is one; the handle becomes -1.
    void Disconnect();
    // Byte count, 0 when the peer closed, -1 on failure (see the library's last error).
    int Read(void* buffer, int length) { return InetRead(socket, buffer, length); }
    int Write(const void* data, int length) { return InetWrite(socket, data, length); }
    // Whether bytes (or the peer's close) can be read within `milliseconds`.
    bool IsReadable(std::uint32_t milliseconds) {
        return InetIsReadable(socket, milliseconds, nullptr) == 1;
    }
    // Sends each write at once instead of holding small ones back (Nagle); false when refused.
    bool SetNoDelay() { return InetSetOption(socket, INET_OPTION_NODELAY, 1) == 0; }
    // Whether bytes can be written within `milliseconds`.
    bool IsWritable(std::uint32_t milliseconds) {
        return InetIsWritable(socket, milliseconds) == 1;
    }
    // False when the library cannot tell; address in network order, port in host order.
    bool GetPeerAddress(std::uint32_t& address, std::uint32_t& port) const;
    bool GetLocalAddress(std::uint32_t& address, std::uint32_t& port) const;
    static std::string FormatAddress(std::uint32_t address);
    static std::uint32_t GetLastError() { return InetGetLastError(); }
    // The library's text for `code`, at most 128 characters; empty when it has none.
    static std::string GetErrorString(std::uint32_t code);

private:
    SOCKET socket = INVALID_SOCKET;
    int initialized;
};
