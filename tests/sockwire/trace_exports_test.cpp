// Tracing through the public interface, and the exported names of the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "SockwireTest.h"

namespace {

using sockwiretest::Loopback;

TEST(SockwireTraceTest, TracingDoesNothingWithoutInitialisationOrTraceLibrary) {
    ::setenv("MOXEL_WIRETRACE_MODULE", MOXEL_TEST_TRACE_MODULE, 1);
    EXPECT_EQ(InetEnableTraceA("trace.log", TRACE_INFO), 0) << "nothing is loaded yet";
    ::setenv("MOXEL_WIRETRACE_MODULE", "/nonexistent/libwiretrace.so", 1);
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    EXPECT_EQ(InetEnableTraceA("trace.log", TRACE_ERROR), 0);
    EXPECT_EQ(InetDisableTrace(), 0);
    InetUninitialize();
}

TEST(SockwireTraceTest, TracingPassesCallsThroughTheTraceLibrary) {
    ::setenv("MOXEL_WIRETRACE_MODULE", MOXEL_TEST_TRACE_MODULE, 1);
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    EXPECT_EQ(InetEnableTraceW(u"wire.trace", TRACE_HEXDUMP), 101);
    void* trace = ::dlopen(MOXEL_TEST_TRACE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(trace, nullptr);
    const auto file = reinterpret_cast<const char* (*)()>(::dlsym(trace, "RecordingTraceFile"));
    const auto usage = reinterpret_cast<int (*)()>(::dlsym(trace, "WSAGetTraceUsage"));
    EXPECT_STREQ(file(), "wire.trace");

    const SOCKET listener = InetListen(Loopback(), 0);
    ASSERT_NE(listener, INVALID_SOCKET);
    EXPECT_EQ(InetGetHostAddressA("10.1.2.3"), 0x0302010AU);
    EXPECT_EQ(usage(), 2) << "socket and inet_addr went through their hooks";
    EXPECT_EQ(InetDisableTrace(), 200);
    EXPECT_EQ(InetDisableTrace(), 0);

    InetEnableTraceA("again", TRACE_INFO);
    InetUninitialize();  // switches tracing off
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    EXPECT_EQ(InetDisableTrace(), 0);
    InetUninitialize();
    ::dlclose(trace);
}

TEST(SockwireExportsTest, EveryFunctionIsExportedByName) {
    void* library = ::dlopen(MOXEL_TEST_SOCKWIRE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    const char* const names[] = {
        "InetAccept",          "InetAsyncAccept",     "InetAsyncConnectA",   "InetAsyncConnectW",
        "InetAsyncConnectExA", "InetAsyncConnectExW", "InetAsyncListen",     "InetAsyncNotify",
        "InetConnectA",        "InetConnectW",        "InetConnectExA",      "InetConnectExW",
        "InetDisconnect",      "InetFlush",           "InetFormatAddressA",  "InetFormatAddressW",
        "InetGetErrorStringA", "InetGetErrorStringW", "InetGetHostAddressA", "InetGetHostAddressW",
        "InetGetHostNameA",    "InetGetHostNameW",    "InetGetLastError",    "InetGetLocalAddress",
        "InetGetLocalNameA",   "InetGetLocalNameW",   "InetGetOption",       "InetGetPeerAddress",
        "InetInitializeA",     "InetInitializeW",     "InetListen",          "InetRead",
        "InetSetLastError",    "InetSetOption",       "InetUninitialize",    "InetWrite",
        "InetIsConnected",     "InetIsListening",     "InetIsBlocking",      "InetIsReadable",
        "InetIsWritable",      "InetEnableEvents",    "InetFreezeEvents",    "InetDisableEvents",
        "InetRegisterEvent",   "InetEnableTraceA",    "InetEnableTraceW",    "InetDisableTrace",
        "DllGetVersion"};
    EXPECT_EQ(std::size(names), 49U);
    for (const char* name : names) {
        EXPECT_NE(::dlsym(library, name), nullptr) << name;
    }
    // The frame inside stays private.
    EXPECT_EQ(::dlsym(library, "_ZN8netframe7Winsock8InstanceEv"), nullptr);
    ::dlclose(library);
}

}  // namespace
