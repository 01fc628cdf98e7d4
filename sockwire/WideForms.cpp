// The UTF-16 forms: each converts its text arguments to UTF-8, calls the A form and converts
// text results back.
#include <algorithm>
#include <string>
#include <vector>

#include "netframe/LastError.h"
#include "netframe/LibraryVersion.h"
#include "netframe/TextConversion.h"
#include "sockwire.h"

using netframe::Fail;
using netframe::ToUtf8;

namespace {

// Null stays null, so that the A form reports it as it would its own null.
struct Utf8Argument {
    explicit Utf8Argument(const char16_t* text) : isNull(text == nullptr), value(ToUtf8(text)) {}
    const char* Get() const { return isNull ? nullptr : value.c_str(); }

    bool isNull;
    std::string value;
};

// Host names are at most 1025 bytes (NI_MAXHOST).
constexpr int kLongestName = 1025;

// Runs an A form that fills a text buffer and, on success, converts the text into the
// caller's UTF-16 buffer of `capacity` units.
template <typename Call>
int WithNarrowBuffer(char16_t* buffer, int capacity, Call call) {
    if (!buffer || capacity <= 0) {
        return call(nullptr, capacity);
    }
    // A UTF-16 unit needs at most three UTF-8 bytes. No name the A forms give is longer than
    // kLongestName units, so a larger capacity asks for nothing more (and a huge one must not
    // allocate gigabytes).
    const int units = std::min(capacity, kLongestName);
    std::vector<char> narrow(static_cast<std::size_t>(units) * 3 + 1);
    const int result = call(narrow.data(), static_cast<int>(narrow.size()));
    if (result == 0) {
        netframe::CopyTruncated(netframe::ToUtf16(narrow.data()), buffer, capacity);
    }
    return result;
}

}  // namespace

extern "C" {

int InetInitializeW(const char16_t*, LPINITDATAW initData) {
    if (initData && initData->dwSize != sizeof(INITDATAW)) {
        return Fail(ERROR_INET_PARAMETER, 0);
    }
    INITDATA narrow{};
    narrow.dwSize = sizeof(narrow);
    const int result = InetInitializeA(nullptr, initData ? &narrow : nullptr);
    if (initData) {
        initData->dwVersionMajor = narrow.dwVersionMajor;
        initData->dwVersionMinor = narrow.dwVersionMinor;
        initData->dwVersionBuild = narrow.dwVersionBuild;
        initData->dwOptions = narrow.dwOptions;
        netframe::CopyTruncated(netframe::ToUtf16(narrow.szDescription), initData->szDescription,
                                static_cast<int>(std::size(initData->szDescription)));
    }
    return result;
}

int InetEnableTraceW(const char16_t* fileName, std::uint32_t flags) {
    return InetEnableTraceA(Utf8Argument(fileName).Get(), flags);
}

SOCKET InetConnectW(const char16_t* host, std::uint32_t port, std::uint32_t protocol,
                    std::uint32_t timeout) {
    return InetConnectA(Utf8Argument(host).Get(), port, protocol, timeout);
}

SOCKET InetConnectExW(const char16_t* host, std::uint32_t port, std::uint32_t protocol,
                      std::uint32_t timeout, std::uint32_t options, std::uint32_t localAddress,
                      std::uint32_t localPort) {
    return InetConnectExA(Utf8Argument(host).Get(), port, protocol, timeout, options, localAddress,
                          localPort);
}

SOCKET InetAsyncConnectW(const char16_t* host, std::uint32_t port, std::uint32_t protocol,
                         std::uint32_t timeout, INETWINDOW window, std::uint32_t message) {
    return InetAsyncConnectA(Utf8Argument(host).Get(), port, protocol, timeout, window, message);
}

SOCKET InetAsyncConnectExW(const char16_t* host, std::uint32_t port, std::uint32_t protocol,
                           std::uint32_t timeout, std::uint32_t options, std::uint32_t localAddress,
                           std::uint32_t localPort, INETWINDOW window, std::uint32_t message) {
    return InetAsyncConnectExA(Utf8Argument(host).Get(), port, protocol, timeout, options,
                               localAddress, localPort, window, message);
}

std::uint32_t InetGetHostAddressW(const char16_t* name) {
    return InetGetHostAddressA(Utf8Argument(name).Get());
}

int InetGetLocalNameW(char16_t* buffer, int capacity) {
    return WithNarrowBuffer(buffer, capacity,
                            [](char* narrow, int size) { return InetGetLocalNameA(narrow, size); });
}

int InetGetHostNameW(std::uint32_t address, char16_t* buffer, int capacity) {
    return WithNarrowBuffer(buffer, capacity, [address](char* narrow, int size) {
        return InetGetHostNameA(address, narrow, size);
    });
}

void InetFormatAddressW(std::uint32_t address, char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return;
    }
    char narrow[16];
    InetFormatAddressA(address, narrow, sizeof(narrow));
    netframe::CopyTruncated(netframe::ToUtf16(narrow), buffer, capacity);
}

}  // extern "C"
