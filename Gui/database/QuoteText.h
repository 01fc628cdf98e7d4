#pragma once

#include <string>

namespace DatabaseLayer {

// Doubles every single quote, so that the text can stand between single quotes in SQL.
// Nothing else is escaped. Every text value put between quotes in a statement goes through it.
std::string QuoteText(const std::string& text);

}  // namespace DatabaseLayer
