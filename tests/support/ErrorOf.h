#pragma once

#include <functional>
#include <string>

#include "core/Exception.h"

namespace moxeltest {

// The message of the Exception that `action` throws; "(no error)" when it throws none. Other
// exceptions pass through, so that a wrong kind of failure still fails the test.
inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace moxeltest
