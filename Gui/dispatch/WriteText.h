#pragma once

#include <functional>
#include <string>

// Hands a stored text to an SMTP writer: every line feed becomes CR LF, and the bytes go out in
// pieces of at most kPieceSize, each starting at the first byte the writer has not yet taken.
// `write` gets a piece and returns how many of its bytes it took, or -1.
// Returns false as soon as a write takes nothing or fails; a writer that takes nothing would
// otherwise be called for ever.
inline constexpr int kPieceSize = 256;
using PieceWriter = std::function<int(const char* piece, int length)>;
bool WriteText(const std::string& text, const PieceWriter& write);
