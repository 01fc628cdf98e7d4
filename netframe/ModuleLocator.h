#pragma once

#include <string>

namespace netframe {

// Where a library finds the modules it loads by name: beside itself (the file this frame was
// linked into), unless the environment variable `overrideVariable` names another file.
// Any thread.
std::string LocateModule(const char* fileName, const char* overrideVariable);

// The folder of the file (library or program) this copy of the frame is linked into.
std::string OwnFolder();

}  // namespace netframe
