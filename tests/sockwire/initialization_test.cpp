#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "SockwireTest.h"
#include "platform/windows/MessageWindows.h"
#include "platform/winsock/WinsockApi.h"
#include "support/LoopbackSockets.h"

namespace {

using sockwiretest::Loopback;

TEST(SockwireInitializationTest, ARecordOfTheWrongSizeIsRefused) {
    for (const std::uint32_t size : {0U, 159U, 161U, 288U}) {
        SCOPED_TRACE(size);
        INITDATA data{};
        data.dwSize = size;
        EXPECT_EQ(InetInitializeA(nullptr, &data), 0);
        EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
        EXPECT_EQ(data.dwVersionMajor, 0U) << "nothing is filled in";
    }
    INITDATAW wide{};
    wide.dwSize = 160;
    EXPECT_EQ(InetInitializeW(nullptr, &wide), 0);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_PARAMETER));
    EXPECT_EQ(InetListen(Loopback(), 0), INVALID_SOCKET) << "nothing was initialised";
}

TEST(SockwireInitializationTest, FillsTheRecordWithVersionAndDescription) {
    INITDATA data{};
    data.dwSize = sizeof(data);
    InetSetLastError(ERROR_INET_TIMEOUT);
    ASSERT_EQ(InetInitializeA("ignored", &data), 1);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NONE));
    EXPECT_EQ(data.dwVersionMajor, 3U);
    EXPECT_EQ(data.dwVersionMinor, 60U);
    EXPECT_EQ(data.dwVersionBuild, 3650U);
    EXPECT_EQ(data.dwOptions, 0U);
    EXPECT_STREQ(data.szDescription, "Wirebench Hypertext Transfer Protocol Library");

    INITDATAW wide{};
    wide.dwSize = sizeof(wide);
    ASSERT_EQ(InetInitializeW(u"ignored", &wide), 1);
    EXPECT_EQ(wide.dwVersionBuild, 3650U);
    EXPECT_EQ(std::u16string(wide.szDescription), u"Wirebench Hypertext Transfer Protocol Library");

    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1) << "a null record is fine";
    InetUninitialize();
    InetUninitialize();
    InetUninitialize();
}

TEST(SockwireInitializationTest, SocketsLiveUntilTheLastUninitialisation) {
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    const SOCKET listener = InetListen(Loopback(), 0);
    ASSERT_NE(listener, INVALID_SOCKET);

    InetUninitialize();
    EXPECT_EQ(InetIsListening(listener), 1) << "one initialisation is still open";
    InetUninitialize();
    EXPECT_EQ(InetIsListening(listener), 0);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_HANDLE));
    InetUninitialize();  // a third one does nothing

    EXPECT_EQ(InetListen(Loopback(), 0), INVALID_SOCKET);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NETWORK))
        << "a socket before initialisation";
}

TEST(SockwireInitializationTest, TheLastUninitialisationClosesTheSocketsOfEveryThread) {
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    SOCKET foreign = INVALID_SOCKET;
    std::uint32_t port = 0;
    std::thread([&] {
        foreign = InetListen(Loopback(), 0);
        std::uint32_t address = 0;
        InetGetLocalAddress(foreign, &address, &port);
    }).join();
    ASSERT_NE(foreign, INVALID_SOCKET);
    InetUninitialize();
    // The port is free again: the other thread's listener was closed.
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    const SOCKET again = InetListen(Loopback(), port);
    EXPECT_NE(again, INVALID_SOCKET) << InetGetLastError();
    InetUninitialize();
}

// The Winsock layer's own view: started or not (a socket of its own succeeds or fails).
bool LayerStarted() {
    void* layer = ::dlopen(MOXEL_TEST_WINSOCK_MODULE, RTLD_NOW | RTLD_NOLOAD);
    const auto socket =
        layer ? reinterpret_cast<decltype(&wsock_socket)>(::dlsym(layer, "wsock_socket")) : nullptr;
    const auto close =
        layer ? reinterpret_cast<decltype(&wsock_closesocket)>(::dlsym(layer, "wsock_closesocket"))
              : nullptr;
    if (!socket || !close) {
        ADD_FAILURE() << "the layer is not loaded";
        return false;
    }
    const winsock::Socket probe = socket(winsock::WS_AF_INET, winsock::WS_SOCK_STREAM, 0);
    if (probe != winsock::kInvalidSocket) {
        close(probe);
    }
    ::dlclose(layer);
    return probe != winsock::kInvalidSocket;
}

TEST(SockwireInitializationTest, NestedInitialisationsReleaseTheWinsockLayerWithTheLast) {
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    InetUninitialize();
    EXPECT_TRUE(LayerStarted());
    InetUninitialize();
    EXPECT_FALSE(LayerStarted()) << "no start is left over";
}

// A message handled while the thread waits in a blocking read ends the library.
std::intptr_t Uninitializing(platform::WindowHandle, std::uint32_t message, std::uintptr_t,
                             std::intptr_t) {
    if (message == platform::WM_USER) {
        InetUninitialize();
    }
    return 0;
}

TEST(SockwireInitializationTest, AnUninitialisationInsideABlockingWaitClosesTheSockets) {
    ASSERT_EQ(InetInitializeA(nullptr, nullptr), 1);
    // Another user of the layer in the process (popwire) keeps it started meanwhile.
    void* layer = ::dlopen(MOXEL_TEST_WINSOCK_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(layer, nullptr);
    const auto startup =
        reinterpret_cast<decltype(&wsock_WSAStartup)>(::dlsym(layer, "wsock_WSAStartup"));
    const auto cleanup =
        reinterpret_cast<decltype(&wsock_WSACleanup)>(::dlsym(layer, "wsock_WSACleanup"));
    winsock::WsaData data{};
    ASSERT_EQ(startup(0x0101, &data), 0);
    std::uint16_t port = 0;
    const moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
    const SOCKET client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, 10);
    ASSERT_NE(client, INVALID_SOCKET) << InetGetLastError();
    const moxeltest::Descriptor peer = moxeltest::AcceptOne(listener);
    const platform::WindowHandle window = platform::CreateMessageWindow(&Uninitializing);
    ASSERT_TRUE(platform::PostMessage(window, platform::WM_USER, 0, 0));
    char byte = 0;
    EXPECT_EQ(InetRead(client, &byte, 1), INET_ERROR);
    pollfd closed{peer.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&closed, 1, 5000), 1) << "the peer sees the connection end";
    EXPECT_EQ(moxeltest::ReceiveCount(peer, 1), "");
    EXPECT_TRUE(LayerStarted()) << "the other start is left";
    cleanup();
    EXPECT_FALSE(LayerStarted()) << "and the library's start was given back";
    ::dlclose(layer);
    platform::DestroyWindow(window);
}

TEST(SockwireInitializationTest, AWinsockLayerThatCannotBeLoadedFailsTheInitialisation) {
    ::setenv("MOXEL_WINSOCK_MODULE", "/nonexistent/libmoxelwsock32.so", 1);
    INITDATA data{};
    data.dwSize = sizeof(data);
    EXPECT_EQ(InetInitializeA(nullptr, &data), 0);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NETWORK));
    EXPECT_EQ(InetListen(Loopback(), 0), INVALID_SOCKET);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_NETWORK));
    InetUninitialize();  // nothing to undo
}

TEST(SockwireErrorTextTest, GivesTheTextOfEachCodeTruncatedAndTerminated) {
    struct Case {
        std::uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {ERROR_INET_NETWORK, "Network subsystem failed to initialize"},
        {ERROR_INET_NOHANDLES, "No handles available to this process"},
        {ERROR_INET_NOTOWNER, "Window is not owned by the thread that created the handle"},
        {ERROR_INET_HANDLE, "Invalid handle passed to function"},
        {ERROR_INET_OPTION, "Invalid socket option specified"},
        {ERROR_INET_TIMEOUT, "Operation timed out waiting for response from server"},
        {ERROR_INET_CANCELED, "Operation canceled by client"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.code);
        char buffer[128];
        EXPECT_EQ(InetGetErrorStringA(item.code, buffer, sizeof(buffer)),
                  static_cast<int>(std::strlen(item.text)));
        EXPECT_STREQ(buffer, item.text);
    }
    char shortBuffer[10];
    EXPECT_EQ(InetGetErrorStringA(28021, shortBuffer, 10), 9);
    EXPECT_STREQ(shortBuffer, "Operation");

    char16_t wide[16];
    EXPECT_EQ(InetGetErrorStringW(ERROR_INET_BLOCKED, wide, 9), 8);
    EXPECT_EQ(std::u16string(wide), u"Blocking");
}

TEST(SockwireErrorTextTest, LowCodesAndBadBuffersGiveNothing) {
    char buffer[100];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(InetGetErrorStringA(5, buffer, 100), 0);
    EXPECT_EQ(InetGetErrorStringA(9999, buffer, 100), 0);
    EXPECT_EQ(buffer[0], 'x') << "the buffer is not touched";
    EXPECT_EQ(InetGetErrorStringA(ERROR_INET_TIMEOUT, nullptr, 100), 0);
    EXPECT_EQ(InetGetErrorStringA(ERROR_INET_TIMEOUT, buffer, 0), 0);
    EXPECT_EQ(InetGetErrorStringA(ERROR_INET_TIMEOUT, buffer, -1), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(InetGetErrorStringA(28002, buffer, 100), 0) << "a code without text";
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(InetGetErrorStringW(ERROR_INET_TIMEOUT, nullptr, 5), 0);
}

TEST(SockwireErrorTextTest, TheLastErrorBelongsToTheThread) {
    InetSetLastError(ERROR_INET_WRITE);
    std::uint32_t seen = 1;
    std::thread([&] {
        seen = InetGetLastError();
        InetSetLastError(ERROR_INET_READ);
    }).join();
    EXPECT_EQ(seen, 0U);
    EXPECT_EQ(InetGetLastError(), static_cast<std::uint32_t>(ERROR_INET_WRITE));
}

TEST(SockwireVersionTest, DllGetVersionChecksItsRecord) {
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_EQ(DllGetVersion(&info), 0);
    EXPECT_EQ(info.dwMajorVersion, 3U);
    EXPECT_EQ(info.dwMinorVersion, 60U);
    EXPECT_EQ(info.dwBuildNumber, 3650U);
    EXPECT_EQ(info.dwPlatformID, 1U);

    DLLVERSIONINFO wrong{};
    wrong.cbSize = 24;
    EXPECT_EQ(DllGetVersion(&wrong), static_cast<std::int32_t>(0x80000003U));
    EXPECT_EQ(wrong.dwMajorVersion, 0U);
    EXPECT_EQ(DllGetVersion(nullptr), static_cast<std::int32_t>(0x80000005U));
}

}  // namespace
