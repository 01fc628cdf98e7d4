#pragma once

#include <string>
#include <vector>

// Fills a text that the user may have edited (the subject and body of verification letters).
// Unlike Format, it never fails: exactly the tokens "%1%" to "%N%" (N = the number of values)
// are replaced, in one pass from left to right, so that a value that itself holds such a token
// is not filled again. Every other character, stray "%" signs and other numbers included,
// stays as typed; a missing placeholder simply leaves its value out. Any thread.
std::string FillUserTemplate(const std::string& text, const std::vector<std::string>& values);
