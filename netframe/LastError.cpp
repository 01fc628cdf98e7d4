#include "netframe/LastError.h"

namespace netframe {

namespace {
thread_local std::uint32_t lastError = 0;
}  // namespace

std::uint32_t GetLastErrorCode() {
    return lastError;
}

void SetLastErrorCode(std::uint32_t code) {
    lastError = code;
}

}  // namespace netframe
