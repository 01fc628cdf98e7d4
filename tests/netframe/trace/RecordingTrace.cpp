// A trace library for the tests: counts what the frame hands it and changes one result, so
// that a test can see that hooks are called and that their result is what callers get.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/winsock/WinsockApi.h"

namespace {

std::atomic<int> hookCalls{0};
std::atomic<int> enablings{0};
std::uint32_t lastFlags = 0;
std::string lastFile;
int (*layerGetLastError)() = nullptr;
void (*layerSetLastError)(int) = nullptr;

}  // namespace

extern "C" {

int WSASetupTrace(int (*getLastError)(), void (*setLastError)(int)) {
    layerGetLastError = getLastError;
    layerSetLastError = setLastError;
    return 1;
}

int WSAEnableTrace(std::uint32_t flags, const char* fileName) {
    lastFlags = flags;
    lastFile = fileName ? fileName : "";
    return 100 + ++enablings;
}

int WSADisableTrace() {
    return 200 + --enablings;
}

int WSAGetTraceUsage() {
    return hookCalls.load();
}

// The hooks: the result first, then the entry's arguments.
std::uint32_t TX_htonl(std::uint32_t result, std::uint32_t) {
    ++hookCalls;
    return result + 1;
}

std::uint32_t TX_inet_addr(std::uint32_t result, const char*) {
    ++hookCalls;
    return result;
}

winsock::Socket TX_socket(winsock::Socket result, int, int, int) {
    ++hookCalls;
    return result;
}

// For the tests: what the frame handed over.
std::uint32_t RecordingTraceFlags() {
    return lastFlags;
}
const char* RecordingTraceFile() {
    return lastFile.c_str();
}
int RecordingTraceLayerError() {
    return layerGetLastError ? layerGetLastError() : -1;
}
void RecordingTraceSetLayerError(int error) {
    if (layerSetLastError) {
        layerSetLastError(error);
    }
}

}  // extern "C"
