// The library's frame through its C interface: initialisation, errors and their texts, the
// version, tracing, exports, handles and the limits of the client table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "PopwireTest.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace popwiretest;
using Step = ScriptedPopServer;

TEST(PopwireFrameTest, InitialisationFillsTheRecordAndChecksItsSize) {
    INITDATA data{};
    data.dwSize = 159;
    EXPECT_EQ(PopInitializeA(nullptr, &data), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    data.dwSize = sizeof(data);
    ASSERT_EQ(PopInitializeA("ignored", &data), 1);
    EXPECT_EQ(LastError(), 0U);
    EXPECT_EQ(data.dwVersionMajor, 3U);
    EXPECT_EQ(data.dwVersionMinor, 60U);
    EXPECT_EQ(data.dwVersionBuild, 3650U);
    EXPECT_STREQ(data.szDescription, "Wirebench Post Office Protocol Library");

    INITDATAW wide{};
    wide.dwSize = sizeof(INITDATA);
    EXPECT_EQ(PopInitializeW(nullptr, &wide), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    wide.dwSize = sizeof(wide);
    ASSERT_EQ(PopInitializeW(nullptr, &wide), 1);
    EXPECT_EQ(std::u16string(wide.szDescription), u"Wirebench Post Office Protocol Library");
    EXPECT_EQ(wide.dwVersionBuild, 3650U);
    PopUninitialize();
    PopUninitialize();
}

TEST(PopwireFrameTest, ClientsLiveUntilTheLastUninitialisation) {
    EXPECT_EQ(PopConnectA("127.0.0.1", 110, 1), INVALID_CLIENT) << "not initialised";
    EXPECT_EQ(LastError(), Code(ERROR_POP_NETWORK));
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    ScriptedPopServer server(Greeting());
    const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 5);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    PopUninitialize();
    EXPECT_EQ(PopGetTimeout(client), 5) << "one initialisation is left";
    PopUninitialize();
    EXPECT_EQ(PopGetTimeout(client), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
    EXPECT_TRUE(server.WaitForEnd(std::chrono::seconds(5))) << "its connection was closed";
    PopUninitialize();  // a third one does nothing
}

TEST(PopwireFrameTest, ErrorTextsAreGivenForTheLibrarysOwnCodesOnly) {
    char text[128];
    EXPECT_EQ(PopGetErrorStringA(ERROR_POP_TIMEOUT, text, sizeof(text)), 52);
    EXPECT_STREQ(text, "Operation timed out waiting for response from server");
    EXPECT_EQ(PopGetErrorStringA(ERROR_POP_TIMEOUT, text, 10), 9);
    EXPECT_STREQ(text, "Operation");
    std::strcpy(text, "untouched");
    EXPECT_EQ(PopGetErrorStringA(5, text, sizeof(text)), 0);
    EXPECT_EQ(PopGetErrorStringA(26699, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(PopGetErrorStringA(ERROR_POP_NOHANDLES, text, sizeof(text)), 0) << "no text";
    EXPECT_EQ(PopGetErrorStringA(ERROR_POP_AUTHFAIL, nullptr, 10), 0);
    EXPECT_EQ(PopGetErrorStringA(ERROR_POP_AUTHFAIL, text, 0), 0);
    char16_t wide[64];
    EXPECT_EQ(PopGetErrorStringW(ERROR_POP_AUTHFAIL, wide, 64), 26);
    EXPECT_EQ(std::u16string(wide), u"User authentication failed");
    EXPECT_GT(PopGetErrorStringA(ERROR_POP_SECURE_CERTIFICATE, text, sizeof(text)), 0);
    PopSetLastError(1234);
    EXPECT_EQ(LastError(), 1234U);
}

TEST(PopwireFrameTest, VersionRecordAndExports) {
    DLLVERSIONINFO info{};
    EXPECT_EQ(DllGetVersion(nullptr), static_cast<std::int32_t>(0x80000005U));
    info.cbSize = 19;
    EXPECT_EQ(DllGetVersion(&info), static_cast<std::int32_t>(0x80000003U));
    info.cbSize = sizeof(info);
    ASSERT_EQ(DllGetVersion(&info), 0);
    EXPECT_EQ(info.dwMajorVersion, 3U);
    EXPECT_EQ(info.dwMinorVersion, 60U);
    EXPECT_EQ(info.dwBuildNumber, 3650U);
    EXPECT_EQ(info.dwPlatformID, 1U);

    void* library = ::dlopen(MOXEL_TEST_POPWIRE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    for (const char* name : {"PopCancel",
                             "PopCommandA",
                             "PopCommandW",
                             "PopConnectA",
                             "PopConnectW",
                             "PopDeleteMessage",
                             "PopDisconnect",
                             "PopGetErrorStringA",
                             "PopGetErrorStringW",
                             "PopGetLastError",
                             "PopGetMessage",
                             "PopGetMessageCount",
                             "PopGetMessageHeader",
                             "PopGetMultiLine",
                             "PopGetResultCode",
                             "PopGetResultStringA",
                             "PopGetResultStringW",
                             "PopGetSocket",
                             "PopGetTimeout",
                             "PopInitializeA",
                             "PopInitializeW",
                             "PopIsBlocking",
                             "PopLoginA",
                             "PopLoginW",
                             "PopRead",
                             "PopReset",
                             "PopSetCancelCheck",
                             "PopSetLastError",
                             "PopSetMultiLine",
                             "PopSetTimeout",
                             "PopUninitialize",
                             "PopEnableEvents",
                             "PopDisableEvents",
                             "PopGetMessageBytesCopied",
                             "PopGetMessageCountEx",
                             "PopGetMessageIdA",
                             "PopGetMessageIdW",
                             "PopLoginExA",
                             "PopLoginExW",
                             "PopGetLineMode",
                             "PopSetLineMode",
                             "PopWrite",
                             "PopQueueCommandA",
                             "PopQueueCommandW",
                             "PopReadQueuedReply",
                             "PopGetMessageSize",
                             "PopConnectExA",
                             "PopConnectExW",
                             "PopRegisterEvent",
                             "PopAsyncConnectA",
                             "PopAsyncConnectW",
                             "PopAsyncConnectExA",
                             "PopAsyncConnectExW",
                             "PopAsyncNotify",
                             "PopGetHwndClient",
                             "PopGetClientHwnd",
                             "PopFreezeEvents",
                             "PopGetSecurityInformationA",
                             "PopGetSecurityInformationW",
                             "PopEnableTraceA",
                             "PopEnableTraceW",
                             "PopDisableTrace",
                             "DllGetVersion"}) {
        EXPECT_NE(::dlsym(library, name), nullptr) << name;
    }
    // The frame and OpenSSL's use stay private.
    EXPECT_EQ(::dlsym(library, "_ZN8netframe7Winsock8InstanceEv"), nullptr);
    EXPECT_EQ(::dlsym(library,
                      "_ZN7popwire10TlsSession6CreateERKNSt7__cxx1112basic_stringIcSt11char_"
                      "traitsIcESaIcEEE"),
              nullptr);
    ::dlclose(library);
}

TEST(PopwireFrameTest, TracingSeesTheWinsockCallsOfAConnection) {
    ::setenv("MOXEL_WIRETRACE_MODULE", MOXEL_TEST_TRACE_MODULE, 1);
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    EXPECT_EQ(PopEnableTraceW(u"pop.trace", TRACE_HEXDUMP), 101);
    void* trace = ::dlopen(MOXEL_TEST_TRACE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(trace, nullptr);
    const auto usage = reinterpret_cast<int (*)()>(::dlsym(trace, "WSAGetTraceUsage"));
    const auto file = reinterpret_cast<const char* (*)()>(::dlsym(trace, "RecordingTraceFile"));
    EXPECT_STREQ(file(), "pop.trace");
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n")));
    const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 5);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_EQ(usage(), 2) << "inet_addr and socket went through their hooks";
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(PopDisableTrace(), 200);
    EXPECT_EQ(PopDisableTrace(), 0);
    PopUninitialize();
    ::dlclose(trace);
}

// Every function that takes a handle, with the result it gives for a handle it refuses.
struct HandleCall {
    const char* label;
    std::function<long long(HCLIENT)> call;
    long long refused;
};

std::vector<HandleCall> HandleCalls() {
    static char buffer[16];
    static char16_t wide[16];
    static std::uint32_t number;
    static SECURITYINFO info = [] {
        SECURITYINFO record{};
        record.dwSize = sizeof(record);
        return record;
    }();
    static SECURITYINFOW wideInfo = [] {
        SECURITYINFOW record{};
        record.dwSize = sizeof(record);
        return record;
    }();
    return {
        {"PopDisconnect", [](HCLIENT h) { return PopDisconnect(h); }, POP_ERROR},
        {"PopLoginA", [](HCLIENT h) { return PopLoginA(h, "u", "p"); }, POP_ERROR},
        {"PopLoginExW", [](HCLIENT h) { return PopLoginExW(h, POP_AUTH_APOP, u"u", u"p"); },
         POP_ERROR},
        {"PopGetMessageCount", [](HCLIENT h) { return PopGetMessageCount(h); }, POP_ERROR},
        {"PopGetMessageCountEx",
         [](HCLIENT h) { return PopGetMessageCountEx(h, &number, &number); }, POP_ERROR},
        {"PopGetMessageSize", [](HCLIENT h) { return PopGetMessageSize(h, 1); }, POP_ERROR},
        {"PopGetMessageIdA", [](HCLIENT h) { return PopGetMessageIdA(h, 1, buffer, 16); },
         POP_ERROR},
        {"PopGetMessageIdW", [](HCLIENT h) { return PopGetMessageIdW(h, 1, wide, 16); }, POP_ERROR},
        {"PopGetMessage", [](HCLIENT h) { return PopGetMessage(h, 1, &number); }, POP_ERROR},
        {"PopGetMessageHeader", [](HCLIENT h) { return PopGetMessageHeader(h, 1, nullptr); },
         POP_ERROR},
        {"PopRead", [](HCLIENT h) { return PopRead(h, buffer, 16); }, POP_ERROR},
        {"PopGetMessageBytesCopied", [](HCLIENT h) { return PopGetMessageBytesCopied(h, &number); },
         POP_ERROR},
        {"PopDeleteMessage", [](HCLIENT h) { return PopDeleteMessage(h, 1); }, POP_ERROR},
        {"PopReset", [](HCLIENT h) { return PopReset(h); }, 0},
        {"PopCommandA", [](HCLIENT h) { return PopCommandA(h, "NOOP", nullptr); }, 0},
        {"PopCommandW", [](HCLIENT h) { return PopCommandW(h, u"NOOP", nullptr); }, 0},
        {"PopGetResultCode", [](HCLIENT h) { return PopGetResultCode(h); }, 0},
        {"PopGetResultStringA", [](HCLIENT h) { return PopGetResultStringA(h, buffer, 16); },
         POP_ERROR},
        {"PopGetResultStringW", [](HCLIENT h) { return PopGetResultStringW(h, wide, 16); },
         POP_ERROR},
        {"PopWrite", [](HCLIENT h) { return PopWrite(h, "x", 1); }, POP_ERROR},
        {"PopQueueCommandA", [](HCLIENT h) { return PopQueueCommandA(h, "NOOP", nullptr); },
         POP_ERROR},
        {"PopQueueCommandW", [](HCLIENT h) { return PopQueueCommandW(h, u"NOOP", nullptr); },
         POP_ERROR},
        {"PopReadQueuedReply", [](HCLIENT h) { return PopReadQueuedReply(h); }, 0},
        {"PopGetMultiLine", [](HCLIENT h) { return PopGetMultiLine(h); }, POP_ERROR},
        {"PopSetMultiLine", [](HCLIENT h) { return PopSetMultiLine(h, 1); }, POP_ERROR},
        {"PopGetLineMode", [](HCLIENT h) { return PopGetLineMode(h); }, POP_ERROR},
        {"PopSetLineMode", [](HCLIENT h) { return PopSetLineMode(h, 2); }, POP_ERROR},
        {"PopGetTimeout", [](HCLIENT h) { return PopGetTimeout(h); }, POP_ERROR},
        {"PopSetTimeout", [](HCLIENT h) { return PopSetTimeout(h, 1); }, POP_ERROR},
        {"PopGetSocket", [](HCLIENT h) { return PopGetSocket(h); }, INVALID_SOCKET},
        {"PopCancel", [](HCLIENT h) { return PopCancel(h); }, POP_ERROR},
        {"PopRegisterEvent", [](HCLIENT h) { return PopRegisterEvent(h, 1, nullptr, 0); },
         POP_ERROR},
        {"PopEnableEvents", [](HCLIENT h) { return PopEnableEvents(h, nullptr, 0); }, POP_ERROR},
        {"PopDisableEvents", [](HCLIENT h) { return PopDisableEvents(h); }, POP_ERROR},
        {"PopFreezeEvents", [](HCLIENT h) { return PopFreezeEvents(h, 1); }, POP_ERROR},
        {"PopAsyncNotify", [](HCLIENT h) { return PopAsyncNotify(h, nullptr, 0); }, POP_ERROR},
        {"PopGetClientHwnd",
         [](HCLIENT h) { return PopGetClientHwnd(h) == nullptr ? POP_ERROR : 0; }, POP_ERROR},
        {"PopGetSecurityInformationA",
         [](HCLIENT h) { return PopGetSecurityInformationA(h, &info); }, POP_ERROR},
        {"PopGetSecurityInformationW",
         [](HCLIENT h) { return PopGetSecurityInformationW(h, &wideInfo); }, POP_ERROR},
        {"PopGetMessageSenderA", [](HCLIENT h) { return PopGetMessageSenderA(h, 1, buffer, 16); },
         POP_ERROR},
        {"PopGetMessageSenderW", [](HCLIENT h) { return PopGetMessageSenderW(h, 1, wide, 16); },
         POP_ERROR},
        {"PopGetHeaderValueA",
         [](HCLIENT h) { return PopGetHeaderValueA(h, 1, "From", buffer, 16); }, POP_ERROR},
        {"PopGetHeaderValueW",
         [](HCLIENT h) { return PopGetHeaderValueW(h, 1, u"From", wide, 16); }, POP_ERROR},
        {"PopStoreMessageA", [](HCLIENT h) { return PopStoreMessageA(h, 1, "/tmp/x"); }, POP_ERROR},
        {"PopStoreMessageW", [](HCLIENT h) { return PopStoreMessageW(h, 1, nullptr); }, POP_ERROR},
        {"PopSendMessageA", [](HCLIENT h) { return PopSendMessageA(h, nullptr); }, POP_ERROR},
        {"PopSendMessageW", [](HCLIENT h) { return PopSendMessageW(h, u"/tmp/x"); }, POP_ERROR},
        {"PopChangePasswordA", [](HCLIENT h) { return PopChangePasswordA(h, "u", "a", "b"); }, 0},
        {"PopChangePasswordW",
         [](HCLIENT h) { return PopChangePasswordW(h, nullptr, nullptr, nullptr); }, 0},
    };
}

// `foreign`: the handle is another thread's live client, which only PopCancel may reach.
void ExpectRefused(HCLIENT handle, bool foreign = false) {
    for (const auto& item : HandleCalls()) {
        SCOPED_TRACE(item.label);
        if (foreign && std::string_view(item.label) == "PopCancel") {
            continue;
        }
        PopSetLastError(0);
        EXPECT_EQ(item.call(handle), item.refused);
        EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
    }
    EXPECT_EQ(PopIsBlocking(handle), 0);
}

TEST_F(PopwireTest, UnknownClosedAndForeignHandlesAreRefusedByEveryFunction) {
    for (const HCLIENT handle : {INVALID_CLIENT, 0, 127, 384, 100000, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(handle);
        ExpectRefused(handle);
    }
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    EXPECT_GE(client, 128);
    EXPECT_LE(client, 383);
    std::thread([client] { ExpectRefused(client, true); }).join();
    ASSERT_EQ(PopDisconnect(client), 0);
    ExpectRefused(client);
}

TEST_F(PopwireTest, NullPointersAndBadArgumentsAreRefused) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    char buffer[8];
    EXPECT_EQ(PopRead(client, nullptr, 8), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopRead(client, buffer, -1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopRead(client, buffer, 0), 0);
    EXPECT_EQ(PopWrite(client, nullptr, 3), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopGetSecurityInformationA(client, nullptr), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    SECURITYINFO info{};
    info.dwSize = sizeof(info) - 1;
    EXPECT_EQ(PopGetSecurityInformationA(client, &info), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    EXPECT_EQ(PopGetMessageCountEx(client, nullptr, nullptr), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_NOLOGIN));
    EXPECT_EQ(PopDisconnect(client), 0);
}

// Accepts every connection on loopback and greets it, until stopped.
class GreetingListener {
public:
    GreetingListener() : listener(moxeltest::ListenOnLoopback(port, 512)) {
        worker = std::thread([this] {
            while (!stopping) {
                moxeltest::Descriptor connection(::accept(listener.Get(), nullptr, nullptr));
                if (connection.Get() < 0 || stopping) {
                    break;
                }
                moxeltest::SendAll(connection, "+OK\r\n");
                connections.push_back(std::move(connection));
            }
        });
    }
    ~GreetingListener() {
        stopping = true;
        ::shutdown(listener.Get(), SHUT_RDWR);
        worker.join();
    }
    std::uint16_t Port() const { return port; }

private:
    std::uint16_t port = 0;
    moxeltest::Descriptor listener;
    std::atomic<bool> stopping{false};
    std::vector<moxeltest::Descriptor> connections;  // worker thread only
    std::thread worker;
};

TEST_F(PopwireTest, The257thClientOfAProcessIsRefused) {
    GreetingListener server;
    std::vector<HCLIENT> clients;
    for (int index = 0; index < 256; ++index) {
        const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 5);
        ASSERT_NE(client, INVALID_CLIENT) << index << ": " << LastError();
        clients.push_back(client);
    }
    EXPECT_EQ(PopConnectA("127.0.0.1", server.Port(), 5), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_MEMORY));
    // A closed slot is free again; the listener never answers QUIT, so it is not waited for
    // long.
    ASSERT_EQ(PopSetTimeout(clients[17], 1), 0);
    ASSERT_EQ(PopDisconnect(clients[17]), 0);
    EXPECT_EQ(PopConnectA("127.0.0.1", server.Port(), 5), clients[17]);
}

TEST_F(PopwireTest, ConnectionFailuresNameTheirCause) {
    struct Case {
        const char* label;
        const char* host;
        std::uint32_t port;
        std::uint32_t error;
    };
    const std::uint16_t unused = moxeltest::UnusedLoopbackPort();
    const Case cases[] = {
        {"empty host", "", 110, ERROR_POP_HOSTNAME},
        {"null host", nullptr, 110, ERROR_POP_HOSTNAME},
        {"unknown host", "no-such-host.invalid", 110, ERROR_POP_HOSTNAME},
        {"port out of range", "127.0.0.1", 70000, ERROR_POP_PARAMETER},
        {"nobody listens", "127.0.0.1", unused, ERROR_POP_CONNECT},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(PopConnectA(item.host, item.port, 5), INVALID_CLIENT);
        EXPECT_EQ(LastError(), item.error);
    }
}

}  // namespace
