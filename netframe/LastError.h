#pragma once

#include <cstdint>

namespace netframe {

// The calling thread's last error of the library that carries this copy of the frame (each
// wire library links its own copy, so each keeps its own value per thread).
std::uint32_t GetLastErrorCode();
void SetLastErrorCode(std::uint32_t code);

// Stores `code` as the calling thread's last error and returns `result`, for one-line failures.
template <typename T>
T Fail(std::uint32_t code, T result) {
    SetLastErrorCode(code);
    return result;
}

// Keeps the calling thread's last error across a scope that may change it (closing a handle
// after a failure must not hide why the operation failed).
class LastErrorKeeper {
public:
    LastErrorKeeper() : saved(GetLastErrorCode()) {}
    ~LastErrorKeeper() { SetLastErrorCode(saved); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    std::uint32_t saved;
};

}  // namespace netframe
