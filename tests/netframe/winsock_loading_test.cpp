// The frame's Winsock: loading the layer by name, resolving entries, counting starts, the
// blocking hook and tracing. Each test case runs in a process of its own, so each starts with
// nothing loaded.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "netframe/Winsock.h"

namespace {

using netframe::Winsock;

void UseModule(const char* path) {
    ::setenv(Winsock::kModuleVariable, path, 1);
}

// The file that holds `address` (a function of some loaded object).
std::string FileOf(const void* address) {
    Dl_info info{};
    return ::dladdr(address, &info) && info.dli_fname ? info.dli_fname : "";
}

// The calling thread's blocking hook as the layer has it: installs a probe and puts the old
// one back, returning the old one.
winsock::BlockingHook CurrentBlockingHook() {
    void* layer = ::dlopen(MOXEL_TEST_WINSOCK_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!layer) {
        return nullptr;
    }
    const auto set = reinterpret_cast<decltype(&wsock_WSASetBlockingHook)>(
        ::dlsym(layer, "wsock_WSASetBlockingHook"));
    static int (*const probe)() = [] { return 0; };
    const winsock::BlockingHook previous = set(probe);
    set(previous);
    ::dlclose(layer);
    return previous;
}

TEST(WinsockLoadingTest, AModuleThatCannotBeLoadedGivesSystemNotReady) {
    UseModule("/nonexistent/libmoxelwsock32.so");
    Winsock& winsock = Winsock::Instance();
    EXPECT_EQ(winsock.Start(), winsock::WSASYSNOTREADY);
    EXPECT_FALSE(winsock.IsLoaded());
    EXPECT_EQ(winsock.StartCount(), 0);
    // Nothing is resolved: every call fails as Winsock would.
    EXPECT_EQ(winsock.CreateSocket(winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, 0),
              winsock::kInvalidSocket);
    EXPECT_EQ(winsock.GetHostByName("localhost"), nullptr);
    EXPECT_EQ(winsock.GetLastError(), winsock::WSANOTINITIALISED);
    EXPECT_FALSE(winsock.IsBlocking());
}

TEST(WinsockLoadingTest, AModuleWithoutTheEntriesFailsEveryCall) {
    // A real library, but not the layer: none of the entry points is there.
    UseModule(MOXEL_TEST_WINDOWS_MODULE);
    Winsock& winsock = Winsock::Instance();
    EXPECT_EQ(winsock.Start(), winsock::WSASYSNOTREADY);
    EXPECT_TRUE(winsock.IsLoaded());
    EXPECT_FALSE(winsock.HasEntry("accept"));
    EXPECT_FALSE(winsock.HasEntry("WSAStartup"));
    EXPECT_EQ(winsock.Listen(1000, 5), -1);
    EXPECT_EQ(winsock.InetAddr("10.1.2.3"), 0xFFFFFFFFU);
    EXPECT_EQ(winsock.GetLastError(), winsock::WSANOTINITIALISED);
}

TEST(WinsockLoadingTest, ResolvesTheLayerByNameAndCountsStarts) {
    UseModule(MOXEL_TEST_WINSOCK_MODULE);
    Winsock& winsock = Winsock::Instance();
    ASSERT_EQ(winsock.Start(), 0);
    ASSERT_EQ(winsock.Start(), 0);
    EXPECT_EQ(winsock.StartCount(), 2);

    for (const char* name : {"accept", "bind", "closesocket", "connect", "ioctlsocket",
                             "getsockopt", "select", "recv", "send", "gethostbyname", "WSAStartup",
                             "WSAGetLastError", "WSASetBlockingHook", "WSAAsyncSelect"}) {
        EXPECT_TRUE(winsock.HasEntry(name)) << name;
    }
    // The layer has no asynchronous database requests; the frame never calls them.
    EXPECT_FALSE(winsock.HasEntry("WSAAsyncGetHostByName"));
    EXPECT_FALSE(winsock.HasEntry("no such entry"));

    EXPECT_EQ(winsock.Htonl(0x01020304), htonl(0x01020304));
    const winsock::Socket s = winsock.CreateSocket(winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, 0);
    ASSERT_NE(s, winsock::kInvalidSocket);
    EXPECT_EQ(winsock.CloseSocket(s), 0);

    winsock.Release();
    EXPECT_EQ(winsock.StartCount(), 1);
    winsock.Release();
    EXPECT_EQ(winsock.StartCount(), 0);
    winsock.Release();  // one too many does nothing
    EXPECT_EQ(winsock.StartCount(), 0);
    EXPECT_EQ(winsock.CreateSocket(winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, 0),
              winsock::kInvalidSocket);
    EXPECT_EQ(winsock.GetLastError(), winsock::WSANOTINITIALISED) << "Winsock is cleaned up";
}

TEST(WinsockLoadingTest, TheFirstStartInstallsTheFramesBlockingHookUntilTheLastRelease) {
    UseModule(MOXEL_TEST_WINSOCK_MODULE);
    Winsock& winsock = Winsock::Instance();
    ASSERT_EQ(winsock.Start(), 0);
    ASSERT_EQ(winsock.Start(), 0);
    const std::string self = FileOf(reinterpret_cast<const void*>(&FileOf));
    EXPECT_EQ(FileOf(reinterpret_cast<const void*>(CurrentBlockingHook())), self)
        << "the hook comes from the frame linked into this program";
    winsock.Release();
    EXPECT_EQ(FileOf(reinterpret_cast<const void*>(CurrentBlockingHook())), self);
    ASSERT_EQ(winsock.Start(), 0);
    winsock.Release();
    winsock.Release();
    // The layer's hook is not observable once Winsock is cleaned up; start it on its own.
    void* layer = ::dlopen(MOXEL_TEST_WINSOCK_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(layer, nullptr);
    const auto startup =
        reinterpret_cast<decltype(&wsock_WSAStartup)>(::dlsym(layer, "wsock_WSAStartup"));
    winsock::WsaData data{};
    ASSERT_EQ(startup(0x0101, &data), 0);
    EXPECT_EQ(FileOf(reinterpret_cast<const void*>(CurrentBlockingHook())),
              MOXEL_TEST_WINSOCK_MODULE)
        << "after the last release the layer's own hook is back";
    ::dlclose(layer);
}

TEST(WinsockTracingTest, DoesNothingBeforeTheLayerIsLoadedOrWithoutTraceLibrary) {
    UseModule(MOXEL_TEST_WINSOCK_MODULE);
    Winsock& winsock = Winsock::Instance();
    ::setenv("MOXEL_WIRETRACE_MODULE", MOXEL_TEST_TRACE_MODULE, 1);
    EXPECT_EQ(winsock.EnableTrace("trace.log", 1), 0) << "nothing is loaded yet";
    EXPECT_FALSE(winsock.IsTracing());

    ::setenv("MOXEL_WIRETRACE_MODULE", "/nonexistent/libwiretrace.so", 1);
    ASSERT_EQ(winsock.Start(), 0);
    EXPECT_EQ(winsock.EnableTrace("trace.log", 1), 0);
    EXPECT_FALSE(winsock.IsTracing());
    EXPECT_EQ(winsock.DisableTrace(), 0);
    winsock.Release();
}

TEST(WinsockTracingTest, HooksSeeEveryCallAndTheirResultIsWhatCallersGet) {
    UseModule(MOXEL_TEST_WINSOCK_MODULE);
    ::setenv("MOXEL_WIRETRACE_MODULE", MOXEL_TEST_TRACE_MODULE, 1);
    Winsock& winsock = Winsock::Instance();
    ASSERT_EQ(winsock.Start(), 0);

    EXPECT_EQ(winsock.EnableTrace("wire.trace", 4), 101);
    EXPECT_TRUE(winsock.IsTracing());
    void* trace = ::dlopen(MOXEL_TEST_TRACE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(trace, nullptr);
    const auto flags = reinterpret_cast<std::uint32_t (*)()>(::dlsym(trace, "RecordingTraceFlags"));
    const auto file = reinterpret_cast<const char* (*)()>(::dlsym(trace, "RecordingTraceFile"));
    const auto usage = reinterpret_cast<int (*)()>(::dlsym(trace, "WSAGetTraceUsage"));
    const auto layerError = reinterpret_cast<int (*)()>(::dlsym(trace, "RecordingTraceLayerError"));
    EXPECT_EQ(flags(), 4U);
    EXPECT_STREQ(file(), "wire.trace");

    // The recording hook of htonl adds one to the result; inet_addr's passes it through.
    EXPECT_EQ(winsock.Htonl(1), htonl(1) + 1);
    EXPECT_EQ(winsock.InetAddr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(winsock.Htons(1), htons(1)) << "an entry without hook is untouched";
    EXPECT_EQ(usage(), 2);

    // The trace library got the layer's own error accessors.
    winsock.SetLastError(10054);
    EXPECT_EQ(layerError(), 10054);

    EXPECT_EQ(winsock.EnableTrace(nullptr, 0), 102) << "enablings count";
    EXPECT_EQ(winsock.DisableTrace(), 201);
    EXPECT_TRUE(winsock.IsTracing());
    EXPECT_EQ(winsock.DisableTrace(), 200);
    EXPECT_FALSE(winsock.IsTracing());
    EXPECT_EQ(winsock.Htonl(1), htonl(1));
    EXPECT_EQ(winsock.DisableTrace(), 0) << "tracing is off";

    winsock.EnableTrace("again", 0);
    winsock.EnableTrace("again", 0);
    winsock.StopTracing();
    EXPECT_FALSE(winsock.IsTracing());
    EXPECT_EQ(winsock.DisableTrace(), 0);
    ::dlclose(trace);
    winsock.Release();
}

}  // namespace
