#pragma once

#include <string>

namespace DatabaseLayer {

// Doubles every single quote, so that the text can stand between single quotes in SQL, and puts
// U+FFFD in the place of every NUL byte: SQLite reads a statement only up to its first NUL, so a
// NUL from a message header would otherwise cut the statement and fail every store of that
// message. Nothing else is escaped. Every text value put between quotes in a statement goes
// through it, so that looking a value up finds it stored the same way.
std::string QuoteText(const std::string& text);

}  // namespace DatabaseLayer
