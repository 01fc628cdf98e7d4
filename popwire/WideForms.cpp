// The UTF-16 forms: each converts its text arguments to UTF-8, calls the A form and converts
// text results back.
#include <string>
#include <vector>

#include "netframe/TextConversion.h"
#include "popwire.h"

namespace {

// Null stays null, so that the A form reports it as it would its own null.
struct Utf8Argument {
    explicit Utf8Argument(const char16_t* text)
        : isNull(text == nullptr), value(netframe::ToUtf8(text)) {}
    const char* Get() const { return isNull ? nullptr : value.c_str(); }

    bool isNull;
    std::string value;
};

// Runs an A form that fills a text buffer and returns its length (or -1), then converts the
// text into the caller's UTF-16 buffer of `capacity` units. A null buffer asks for the length.
template <typename Call>
int WithNarrowBuffer(char16_t* buffer, int capacity, int narrowCapacity, Call call) {
    std::vector<char> narrow(static_cast<std::size_t>(narrowCapacity), '\0');
    const int result = call(narrow.data(), narrowCapacity);
    if (result < 0) {
        return result;
    }
    const std::u16string wide = netframe::ToUtf16(narrow.data());
    if (!buffer) {
        return static_cast<int>(wide.size());
    }
    return netframe::CopyTruncated(wide, buffer, capacity);
}

// Room for any status line or identifier the library keeps, in UTF-8.
constexpr int kNarrowTextCapacity = 2048;

}  // namespace

extern "C" {

int PopEnableTraceW(const char16_t* fileName, std::uint32_t flags) {
    return PopEnableTraceA(Utf8Argument(fileName).Get(), flags);
}

HCLIENT PopConnectW(const char16_t* host, std::uint32_t port, std::uint32_t timeout) {
    return PopConnectA(Utf8Argument(host).Get(), port, timeout);
}

HCLIENT PopConnectExW(const char16_t* host, std::uint32_t port, std::uint32_t timeout,
                      std::uint32_t options) {
    return PopConnectExA(Utf8Argument(host).Get(), port, timeout, options);
}

HCLIENT PopAsyncConnectW(const char16_t* host, std::uint32_t port, std::uint32_t timeout,
                         INETWINDOW window, std::uint32_t message) {
    return PopAsyncConnectA(Utf8Argument(host).Get(), port, timeout, window, message);
}

HCLIENT PopAsyncConnectExW(const char16_t* host, std::uint32_t port, std::uint32_t timeout,
                           std::uint32_t options, INETWINDOW window, std::uint32_t message) {
    return PopAsyncConnectExA(Utf8Argument(host).Get(), port, timeout, options, window, message);
}

int PopLoginW(HCLIENT handle, const char16_t* user, const char16_t* password) {
    return PopLoginA(handle, Utf8Argument(user).Get(), Utf8Argument(password).Get());
}

int PopLoginExW(HCLIENT handle, std::uint32_t authType, const char16_t* user,
                const char16_t* password) {
    return PopLoginExA(handle, authType, Utf8Argument(user).Get(), Utf8Argument(password).Get());
}

int PopCommandW(HCLIENT handle, const char16_t* command, const char16_t* parameter) {
    return PopCommandA(handle, Utf8Argument(command).Get(), Utf8Argument(parameter).Get());
}

int PopQueueCommandW(HCLIENT handle, const char16_t* command, const char16_t* parameter) {
    return PopQueueCommandA(handle, Utf8Argument(command).Get(), Utf8Argument(parameter).Get());
}

int PopGetMessageIdW(HCLIENT handle, int message, char16_t* buffer, int capacity) {
    return WithNarrowBuffer(buffer, capacity, kNarrowTextCapacity, [&](char* narrow, int size) {
        return PopGetMessageIdA(handle, message, narrow, size);
    });
}

int PopGetResultStringW(HCLIENT handle, char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return PopGetResultStringA(handle, nullptr, 0);
    }
    return WithNarrowBuffer(buffer, capacity, kNarrowTextCapacity, [&](char* narrow, int size) {
        return PopGetResultStringA(handle, narrow, size);
    });
}

}  // extern "C"
