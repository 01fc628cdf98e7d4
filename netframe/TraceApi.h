#pragma once

// The functions of the optional trace library "wiretrace", which a wire library loads by name
// when tracing is switched on. Besides these, the trace library may export one hook per Winsock
// entry point, named "TX_" followed by the entry's Winsock name: it receives the entry's result
// followed by the entry's arguments and returns the result the caller is to see (see
// netframe::Winsock). What the trace library does with all this is its own affair.

#include <cstdint>

namespace netframe {

inline constexpr char kTraceModuleName[] = "libwiretrace.so";
inline constexpr char kTraceModuleVariable[] = "MOXEL_WIRETRACE_MODULE";

extern "C" {
using TraceGetLastError = int (*)();
using TraceSetLastError = void (*)(int);
// Hands the trace library the Winsock error accessors of the loaded layer.
using WSASetupTraceFunction = int (*)(TraceGetLastError, TraceSetLastError);
using WSAEnableTraceFunction = int (*)(std::uint32_t flags, const char* fileName);
using WSADisableTraceFunction = int (*)();
using WSAGetTraceUsageFunction = int (*)();
using WSASetTraceFileFunction = int (*)(const char* fileName);
using WSAGetTraceFileFunction = int (*)(char* buffer, int capacity);
using WSASetTraceFlagsFunction = int (*)(std::uint32_t flags);
using WSAGetTraceFlagsFunction = std::uint32_t (*)();
using WSATraceWriteFunction = int (*)(const char* text);
}

}  // namespace netframe
