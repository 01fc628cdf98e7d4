#pragma once

#include <cstdint>
#include <string>

namespace DatabaseLayer {

// Plain decimal conversions of stored texts, as the C library's atoi does: leading white space,
// an optional sign, then the leading digits; no digits give 0. Out-of-range values saturate
// instead of overflowing.
std::int32_t ParseInt32(const std::string& text);
std::int64_t ParseInt64(const std::string& text);

}  // namespace DatabaseLayer
