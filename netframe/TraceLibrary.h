#pragma once

#include <string>

#include "netframe/TraceApi.h"

namespace netframe {

// The optional trace library, loaded by name on first use and never unloaded. Used by Winsock
// under its lock.
class TraceLibrary {
public:
    // Loads the module and resolves its functions once; false while the module is missing
    // (each call tries again).
    bool Load();
    bool IsLoaded() const { return module != nullptr; }

    // The address of `symbol` in the trace module, or null.
    void* Find(const std::string& symbol) const;

    WSASetupTraceFunction setup = nullptr;
    WSAEnableTraceFunction enable = nullptr;
    WSADisableTraceFunction disable = nullptr;
    WSAGetTraceUsageFunction getUsage = nullptr;
    WSASetTraceFileFunction setFile = nullptr;
    WSAGetTraceFileFunction getFile = nullptr;
    WSASetTraceFlagsFunction setFlags = nullptr;
    WSAGetTraceFlagsFunction getFlags = nullptr;
    WSATraceWriteFunction write = nullptr;

private:
    void* module = nullptr;
};

}  // namespace netframe
