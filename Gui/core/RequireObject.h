#pragma once

#include <utility>

#include "core/Exception.h"

// Hands `object` (a smart pointer) back unless it is null; a null one is a caller's internal
// error and throws Exception(`error`). For constructors that take ownership of a collaborator.
template <typename Pointer>
Pointer RequireObject(Pointer object, const char* error) {
    if (!object) {
        throw Exception(error);
    }
    return object;
}
