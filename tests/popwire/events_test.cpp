// Events, cancelling, the UTF-16 forms and clients on threads of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "PopwireTest.h"
#include "platform/windows/MessageWindows.h"

namespace {

using namespace std::chrono_literals;
using namespace popwiretest;
using Step = ScriptedPopServer;

struct Event {
    HCLIENT client;
    std::uint32_t event;
    std::uint32_t error;
};
thread_local std::vector<Event> callbackEvents;
thread_local std::vector<Event> windowEvents;

// Each test starts with no events seen.
class PopwireEventTest : public PopwireTest {
protected:
    void SetUp() override {
        callbackEvents.clear();
        windowEvents.clear();
        PopwireTest::SetUp();
    }
};

void RecordCallback(HCLIENT client, std::uint32_t event, std::uint32_t error, std::uintptr_t) {
    callbackEvents.push_back({client, event, error});
}

constexpr std::uint32_t kEventMessage = platform::WM_USER + 7;

std::intptr_t RecordingWindow(platform::WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    if (message == kEventMessage) {
        windowEvents.push_back({static_cast<HCLIENT>(wParam),
                                static_cast<std::uint32_t>(lParam & 0xFFFF),
                                static_cast<std::uint32_t>((lParam >> 16) & 0xFFFF)});
    }
    return 0;
}

TEST_F(PopwireEventTest, EachStatusLineRaisesTheCommandEventForCallbackAndWindow) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("-ERR no\r\n"),
                                  Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    const platform::WindowHandle window = platform::CreateMessageWindow(&RecordingWindow);
    EXPECT_EQ(PopEnableEvents(client, window, platform::WM_USER - 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_PARAMETER));
    ASSERT_EQ(PopEnableEvents(client, window, kEventMessage), 0);
    ASSERT_EQ(PopRegisterEvent(client, POP_EVENT_COMMAND | POP_EVENT_TIMEOUT, &RecordCallback, 0),
              0);
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1);
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 0);
    ASSERT_EQ(callbackEvents.size(), 2U);
    ASSERT_EQ(windowEvents.size(), 2U);
    for (const auto& seen : {callbackEvents[1], windowEvents[1]}) {
        EXPECT_EQ(seen.client, client);
        EXPECT_EQ(seen.event, Code(POP_EVENT_COMMAND));
        EXPECT_EQ(seen.error, 0U);
    }
    EXPECT_EQ(LastError(), 0U) << "handlers leave the thread's last error alone";
    ASSERT_EQ(PopDisableEvents(client), 0);
    ASSERT_EQ(PopRegisterEvent(client, POP_EVENT_COMMAND, nullptr, 0), 0);
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(callbackEvents.size(), 2U) << "nothing after the callback was cleared";
    EXPECT_EQ(windowEvents.size(), 2U) << "nothing after the events were disabled";
    platform::DestroyWindow(window);
}

// Cancels the client whose handle the window was given, from inside a wait.
thread_local HCLIENT clientToCancel = INVALID_CLIENT;
constexpr std::uint32_t kCancelMessage = platform::WM_USER + 8;

std::intptr_t CancellingWindow(platform::WindowHandle, std::uint32_t message, std::uintptr_t,
                               std::intptr_t) {
    if (message == kCancelMessage) {
        EXPECT_EQ(PopCancel(clientToCancel), 0);
    }
    return 0;
}

TEST_F(PopwireEventTest, CancelFromAMessageHandledDuringTheWaitEndsIt) {
    ScriptedPopServer server(Join(Greeting(), Login(1, 10), Step::Expect(), Step::Pause(10s)));
    const HCLIENT client = ConnectAndLogin(server, 30);
    ASSERT_NE(client, INVALID_CLIENT);
    ASSERT_EQ(PopRegisterEvent(client, POP_EVENT_CANCEL, &RecordCallback, 0), 0);
    const platform::WindowHandle window = platform::CreateMessageWindow(&CancellingWindow);
    clientToCancel = client;
    // Dispatched by the wait for LIST's answer.
    ASSERT_TRUE(platform::PostMessage(window, kCancelMessage, 0, 0));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PopGetMessageSize(client, 1), POP_ERROR);
    EXPECT_EQ(LastError(), Code(ERROR_POP_CANCELED));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    ASSERT_EQ(callbackEvents.size(), 1U);
    EXPECT_EQ(callbackEvents[0].event, Code(POP_EVENT_CANCEL));
    EXPECT_EQ(callbackEvents[0].error, Code(ERROR_POP_CANCELED));
    EXPECT_EQ(PopIsBlocking(client), 0);
    PopSetTimeout(client, 1);  // the answer to LIST never comes; neither will QUIT's
    PopDisconnect(client);
    platform::DestroyWindow(window);
}

void CancelOnCommand(HCLIENT client, std::uint32_t, std::uint32_t, std::uintptr_t) {
    PopCancel(client);
}

TEST_F(PopwireEventTest, ACancelRequestedBetweenCommandsStopsTheNextOneBeforeItIsSent) {
    ScriptedPopServer server(Join(Greeting(), Step::Answer("+OK\r\n"), Step::Answer("+OK\r\n"),
                                  Step::Answer("+OK\r\n")));
    const HCLIENT client = Connect(server);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    ASSERT_EQ(PopRegisterEvent(client, POP_EVENT_COMMAND, &CancelOnCommand, 0), 0);
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1);
    ASSERT_EQ(PopRegisterEvent(client, POP_EVENT_COMMAND, nullptr, 0), 0);
    EXPECT_EQ(PopCommandA(client, "STAT", nullptr), 0);
    EXPECT_EQ(LastError(), Code(ERROR_POP_CANCELED));
    EXPECT_EQ(PopCommandA(client, "NOOP", nullptr), 1) << "one cancel stops one operation";
    PopDisconnect(client);
    EXPECT_EQ(server.Received(), (Lines{"NOOP", "NOOP", "QUIT"}));
}

TEST_F(PopwireTest, TheUtf16FormsConvertTextBothWays) {
    ScriptedPopServer server(
        Join(Greeting(), Login(1, 10), Step::Answer("+OK 1 \xC3\xA9t\xC3\xA9-id\r\n"),
             Step::Answer("+OK r\xC3\xA9sultat\r\n"), Step::Answer("+OK\r\n")));
    const HCLIENT client = PopConnectW(u"127.0.0.1", server.Port(), 5);
    ASSERT_NE(client, INVALID_CLIENT) << LastError();
    ASSERT_EQ(PopLoginW(client, u"user", u"pass"), 0) << LastError();
    ASSERT_EQ(PopSetLineMode(client, POP_MODE_BINARY), 0);
    char16_t id[16];
    EXPECT_EQ(PopGetMessageIdW(client, 1, id, 16), 6);
    EXPECT_EQ(std::u16string(id), u"été-id");
    EXPECT_EQ(PopGetMessageIdW(client, 1, nullptr, 0), 6);
    EXPECT_EQ(PopCommandW(client, u"X\u00E9", u"\u00FC"), 1);
    char16_t result[16];
    EXPECT_EQ(PopGetResultStringW(client, result, 16), 10);
    EXPECT_EQ(std::u16string(result), u"résultat\r\n");
    EXPECT_EQ(PopDisconnect(client), 0);
    EXPECT_EQ(server.Received()[4], "X\xC3\xA9 \xC3\xBC");
}

TEST(PopwireThreadsTest, AThreadWithoutWindowsRunsASessionAndOwnsItsHandle) {
    ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
    ScriptedPopServer server(Join(Greeting(), Login(1, 6), Step::Answer("+OK 1 6\r\n"),
                                  Step::Answer("+OK 1 x\r\n"), Step::Answer(MultiLine("hello\r\n")),
                                  Step::Expect()));
    std::promise<HCLIENT> connected;
    std::promise<void> checked;
    std::thread collector([&] {
        const HCLIENT client = PopConnectA("127.0.0.1", server.Port(), 5);
        EXPECT_NE(client, INVALID_CLIENT);
        EXPECT_EQ(PopLoginA(client, "user", "pass"), 0);
        EXPECT_EQ(PopGetMessage(client, 1, nullptr), 0);
        EXPECT_EQ(ReadToEnd(client).text, "hello\r\n");
        connected.set_value(client);
        checked.get_future().wait();
    });
    const HCLIENT client = connected.get_future().get();
    EXPECT_EQ(PopGetMessageCount(client), POP_ERROR) << "another thread's handle";
    EXPECT_EQ(LastError(), Code(ERROR_POP_HANDLE));
    EXPECT_EQ(PopDisconnect(client), POP_ERROR);
    // The last uninitialisation closes the clients of every thread, without QUIT.
    PopUninitialize();
    checked.set_value();
    collector.join();
    EXPECT_TRUE(server.WaitForEnd(5s));
    EXPECT_EQ(server.Received().back(), "RETR 1");
}

}  // namespace
