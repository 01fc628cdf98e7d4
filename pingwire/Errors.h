#pragma once

#include <cstdint>

namespace pingwire {

// The library's error codes (the calling thread's last error); their texts are in Errors.cpp.
enum ErrorCode : std::uint32_t {
    kErrorNone = 0,
    kErrorParameter = 29001,
    kErrorHandle = 29002,
    kErrorNotInitialized = 29003,
    kErrorHostName = 29004,
    kErrorNoHost = 29005,
    kErrorSocket = 29006,
    kErrorSend = 29007,
    kErrorTimeout = 29008,
    kErrorReceive = 29009,
    kErrorTooManyHandles = 29010,
    kErrorInternal = 29011,
};

// Sets the calling thread's last error and returns `result`, for one-line failures.
template <typename T>
T Fail(std::uint32_t code, T result);

// Copies the text of `code` into `buffer` of `size` bytes, truncated and terminated; returns
// its length, or 0 when the code has no text or the buffer is null.
int CopyErrorText(std::uint32_t code, char* buffer, int size);

}  // namespace pingwire

#include "netframe/LastError.h"

template <typename T>
T pingwire::Fail(std::uint32_t code, T result) {
    return netframe::Fail(code, result);
}
