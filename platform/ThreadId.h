#pragma once

#include <cstdint>

namespace platform {

// The operating system's numeric id of the calling thread (gettid), as unsigned 32-bit.
std::uint32_t CurrentThreadId();

}  // namespace platform
