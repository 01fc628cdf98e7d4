#pragma once

#include <cstdint>
#include <span>

namespace netframe {

// One error code and its text.
struct ErrorText {
    std::uint32_t code;
    const char* text;
};

// A library's error texts (the string table of its error codes). Immutable; any thread.
class ErrorTable {
public:
    // `texts` must outlive the table; codes below `lowestCode` never have a text.
    constexpr ErrorTable(std::span<const ErrorText> texts, std::uint32_t lowestCode)
        : entries(texts), lowest(lowestCode) {}

    // The text of `code`, or null when it has none.
    const char* Find(std::uint32_t code) const;

    // Copies the text of `code` into the buffer, truncated to capacity - 1 characters and
    // terminated; returns the characters copied. Returns 0 without touching the buffer when
    // the code is below the lowest code, the buffer is null or capacity <= 0; a code without
    // text leaves an empty text and returns 0.
    int Copy(std::uint32_t code, char* buffer, int capacity) const;
    int Copy(std::uint32_t code, char16_t* buffer, int capacity) const;

private:
    std::span<const ErrorText> entries;
    std::uint32_t lowest;
};

}  // namespace netframe
