#pragma once

#include <cstdint>

#include "netframe/LastError.h"

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

// The frame keeps the per-thread last error; Fail(code, result) stores it and returns result.
using netframe::Fail;

// Copies the text of `code` into `buffer` of `size` bytes, truncated and terminated; returns
// its length, or 0 when the code has no text or the buffer is null.
int CopyErrorText(std::uint32_t code, char* buffer, int size);

}  // namespace pingwire
