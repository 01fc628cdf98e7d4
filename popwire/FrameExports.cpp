// Initialisation, errors, version and tracing.
#include "netframe/LastError.h"
#include "netframe/LibraryVersion.h"
#include "popwire.h"
#include "popwire/ErrorTexts.h"
#include "popwire/PopLibrary.h"

using netframe::Fail;
using popwire::PopLibrary;

namespace {

constexpr netframe::LibraryVersion kVersion{3, 60, 3650, "Wirebench Post Office Protocol Library"};

static_assert(sizeof(INITDATA) == 160);
static_assert(sizeof(INITDATAW) == 288);
static_assert(sizeof(DLLVERSIONINFO) == netframe::kVersionRecordSize);

}  // namespace

extern "C" {

int PopInitializeA(const char*, LPINITDATA initData) {
    if (initData) {
        if (initData->dwSize != sizeof(INITDATA)) {
            return Fail(ERROR_POP_PARAMETER, 0);
        }
        netframe::FillInitData(*initData, kVersion);
    }
    return PopLibrary::Instance().Initialize();
}

int PopInitializeW(const char16_t*, LPINITDATAW initData) {
    if (initData) {
        if (initData->dwSize != sizeof(INITDATAW)) {
            return Fail(ERROR_POP_PARAMETER, 0);
        }
        netframe::FillInitData(*initData, kVersion);
    }
    return PopLibrary::Instance().Initialize();
}

void PopUninitialize(void) {
    PopLibrary::Instance().Uninitialize();
}

std::uint32_t PopGetLastError(void) {
    return netframe::GetLastErrorCode();
}

void PopSetLastError(std::uint32_t code) {
    netframe::SetLastErrorCode(code);
}

int PopGetErrorStringA(std::uint32_t code, char* buffer, int capacity) {
    return popwire::ErrorTexts().Copy(code, buffer, capacity);
}

int PopGetErrorStringW(std::uint32_t code, char16_t* buffer, int capacity) {
    return popwire::ErrorTexts().Copy(code, buffer, capacity);
}

std::int32_t DllGetVersion(DLLVERSIONINFO* info) {
    return netframe::FillVersionRecord(info, kVersion);
}

int PopEnableTraceA(const char* fileName, std::uint32_t flags) {
    return PopLibrary::Instance().Winsock().EnableTrace(fileName, flags);
}

int PopDisableTrace(void) {
    return PopLibrary::Instance().Winsock().DisableTrace();
}

}  // extern "C"
