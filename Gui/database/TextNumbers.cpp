#include "database/TextNumbers.h"

#include <cstdlib>
#include <limits>

namespace DatabaseLayer {

std::int64_t ParseInt64(const std::string& text) {
    // strtoll stops at the first non-digit and saturates on overflow, as wanted.
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::int32_t ParseInt32(const std::string& text) {
    const std::int64_t value = ParseInt64(text);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace DatabaseLayer
