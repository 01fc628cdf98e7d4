#pragma once

#include <boost/format.hpp>
#include <string>

// Fills the numbered placeholders "%1%", "%2%", ... of a program text in order.
// For the program's own texts: a mismatch between text and arguments throws (a programming error).
template <typename... Args>
std::string Format(const std::string& text, const Args&... args) {
    boost::format format(text);
    (format % ... % args);
    return format.str();
}
