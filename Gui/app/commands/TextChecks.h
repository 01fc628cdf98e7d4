#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Checks shared by the commands for words that reach the database or a message.

// `text` as a decimal number from `low` to `high`; nullopt for anything else (signs, blanks,
// other characters, an empty text, a number out of range).
std::optional<std::int64_t> ParseNumber(const std::string& text, std::int64_t low,
                                        std::int64_t high);
// True when `text` is not empty and has no control characters (NUL, line ends, tabs...).
bool IsPrintableLine(const std::string& text);
// `text` cut to 80 bytes with control characters shown as '?', for a message line.
std::string Printable(const std::string& text);
