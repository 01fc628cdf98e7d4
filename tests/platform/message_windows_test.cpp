#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/ThreadId.h"
#include "platform/windows/MessageWindows.h"
#include "support/MessagePump.h"

namespace {

using platform::Message;
using platform::WindowHandle;
using namespace std::chrono_literals;

constexpr std::uint32_t kPing = platform::WM_USER + 1;
constexpr std::uint32_t kEcho = platform::WM_USER + 2;

// Every message a recording window received, with IsWindow as the procedure saw it.
struct Received {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool existed;
};
thread_local std::vector<Received>* received = nullptr;

std::intptr_t Recording(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (received) {
        received->push_back({message, wParam, lParam, platform::IsWindow(window)});
    }
    return message == kEcho ? lParam * 2 : 0;
}

// Answers kEcho with twice its second parameter on whatever thread owns it.
std::intptr_t Doubler(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
    return message == kEcho ? lParam * 2 : 0;
}

class MessageWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { received = &log; }
    void TearDown() override { received = nullptr; }
    std::vector<Received> log;
};

TEST_F(MessageWindowsTest, DestroyingSendsDestroyThenFinalDestroyWhileTheWindowStillExists) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(platform::IsWindow(window));
    EXPECT_EQ(platform::GetWindowThreadId(window), platform::CurrentThreadId());

    ASSERT_TRUE(platform::DestroyWindow(window));
    ASSERT_EQ(log.size(), 2U);
    EXPECT_EQ(log[0].message, platform::WM_DESTROY);
    EXPECT_EQ(log[1].message, platform::WM_NCDESTROY);
    EXPECT_TRUE(log[0].existed);
    EXPECT_TRUE(log[1].existed);

    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_EQ(platform::GetWindowThreadId(window), 0U);
    EXPECT_FALSE(platform::DestroyWindow(window)) << "a second destroy of the same window";
    EXPECT_FALSE(platform::IsWindow(nullptr));
}

TEST_F(MessageWindowsTest, OnlyTheOwnerThreadMayDestroyAWindow) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    const std::uint32_t owner = platform::CurrentThreadId();
    std::uint32_t seenOwner = 0;
    bool destroyed = true;
    std::thread([&] {
        seenOwner = platform::GetWindowThreadId(window);
        destroyed = platform::DestroyWindow(window);
    }).join();
    EXPECT_EQ(seenOwner, owner);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(platform::IsWindow(window));
    EXPECT_TRUE(platform::DestroyWindow(window));
}

TEST_F(MessageWindowsTest, PostedMessagesArriveInOrderWithTheirParameters) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(platform::PostMessage(window, kPing, static_cast<std::uintptr_t>(i), -i));
    }
    Message peeked;
    ASSERT_TRUE(platform::PeekMessage(peeked, false));
    EXPECT_EQ(peeked.wParam, 1U) << "a peek without removing leaves the message";
    for (int i = 1; i <= 3; ++i) {
        Message message;
        ASSERT_TRUE(platform::PeekMessage(message));
        EXPECT_EQ(message.window, window);
        platform::DispatchMessage(message);
    }
    Message none;
    EXPECT_FALSE(platform::PeekMessage(none));
    ASSERT_EQ(log.size(), 3U);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].wParam, static_cast<std::uintptr_t>(i + 1));
        EXPECT_EQ(log[i].lParam, -(i + 1));
    }
    platform::DestroyWindow(window);
}

TEST_F(MessageWindowsTest, MessagesLeftForADestroyedWindowAreDropped) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    platform::PostMessage(window, kPing, 0, 0);
    platform::DestroyWindow(window);
    log.clear();
    Message message;
    EXPECT_FALSE(platform::PeekMessage(message));
    EXPECT_FALSE(platform::PostMessage(window, kPing, 0, 0));
    EXPECT_EQ(platform::SendMessage(window, kEcho, 0, 21), 0);
    EXPECT_TRUE(log.empty());
}

// A replacing procedure sees every message first and hands the rest to the one it replaced.
std::atomic<int> filtered{0};
std::intptr_t Filter(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) {
    if (message == kPing) {
        ++filtered;
        return 7;
    }
    const auto previous =
        reinterpret_cast<platform::WindowProcedure>(platform::GetWindowUserData(window));
    return platform::CallWindowProcedure(previous, window, message, wParam, lParam);
}

TEST_F(MessageWindowsTest, AReplacedProcedureChainsToThePreviousOne) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    const platform::WindowProcedure previous = platform::SetWindowProcedure(window, &Filter);
    EXPECT_EQ(previous, &Recording);
    EXPECT_EQ(platform::GetWindowProcedure(window), &Filter);
    ASSERT_TRUE(platform::SetWindowUserData(window, reinterpret_cast<void*>(previous)));

    EXPECT_EQ(platform::SendMessage(window, kPing, 0, 0), 7);
    EXPECT_EQ(platform::SendMessage(window, kEcho, 0, 5), 10);
    EXPECT_EQ(filtered.load(), 1);
    ASSERT_EQ(log.size(), 1U);
    EXPECT_EQ(log[0].message, kEcho);

    EXPECT_EQ(platform::SetWindowProcedure(window, previous), &Filter);
    EXPECT_EQ(platform::SetWindowProcedure(nullptr, &Filter), nullptr);
    EXPECT_EQ(platform::CallWindowProcedure(nullptr, window, kEcho, 0, 1), 0);
    platform::DestroyWindow(window);
}

TEST_F(MessageWindowsTest, SendingFromAnotherThreadWaitsUntilTheOwnerLooksAtItsQueue) {
    const WindowHandle window = platform::CreateMessageWindow(&Doubler);
    std::atomic<bool> sent{false};
    auto result = std::async(std::launch::async, [&] {
        const auto answer = platform::SendMessage(window, kEcho, 0, 21);
        sent = true;
        return answer;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(sent.load()) << "the send must wait for the owner thread";
    EXPECT_TRUE(moxeltest::PumpUntil([&] { return sent.load(); }));
    EXPECT_EQ(result.get(), 42);
    platform::DestroyWindow(window);
}

// Thread B's window answers kEcho by asking thread A's window first: A, waiting for its own
// send to B, must serve B's send meanwhile.
WindowHandle mainWindow = nullptr;
std::intptr_t AskBack(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
    return message == kEcho ? platform::SendMessage(mainWindow, kEcho, 0, lParam) + 1 : 0;
}

TEST_F(MessageWindowsTest, ThreadsThatSendToEachOtherDoNotDeadlock) {
    mainWindow = platform::CreateMessageWindow(&Doubler);
    std::promise<WindowHandle> created;
    std::atomic<bool> stop{false};
    std::thread other([&] {
        const WindowHandle window = platform::CreateMessageWindow(&AskBack);
        created.set_value(window);
        moxeltest::PumpUntil([&] { return stop.load(); }, 20s);
        platform::DestroyWindow(window);
    });
    const WindowHandle otherWindow = created.get_future().get();
    EXPECT_EQ(platform::SendMessage(otherWindow, kEcho, 0, 10), 21);
    stop = true;
    other.join();
    platform::DestroyWindow(mainWindow);
}

TEST_F(MessageWindowsTest, TheWindowsOfAnEndedThreadAreGone) {
    WindowHandle window = nullptr;
    std::thread([&] { window = platform::CreateMessageWindow(&Doubler); }).join();
    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_FALSE(platform::PostMessage(window, kPing, 0, 0));
    EXPECT_EQ(platform::SendMessage(window, kEcho, 0, 1), 0);
}

TEST_F(MessageWindowsTest, ASendToAThreadThatEndsUnansweredReturnsZero) {
    std::promise<WindowHandle> created;
    std::promise<void> release;
    std::thread owner([&] {
        created.set_value(platform::CreateMessageWindow(&Doubler));
        release.get_future().wait();  // ends without looking at its queue
    });
    const WindowHandle window = created.get_future().get();
    auto answer =
        std::async(std::launch::async, [&] { return platform::SendMessage(window, kEcho, 0, 4); });
    std::this_thread::sleep_for(50ms);
    release.set_value();
    owner.join();
    ASSERT_EQ(answer.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(answer.get(), 0);
}

TEST_F(MessageWindowsTest, TheQueueDescriptorSignalsWaitingMessages) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    pollfd descriptor{platform::MessageQueueDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&descriptor, 1, 0), 0) << "nothing waits yet";

    std::thread([&] { platform::PostMessage(window, kPing, 1, 1); }).join();
    EXPECT_EQ(::poll(&descriptor, 1, 1000), 1);

    Message message;
    ASSERT_TRUE(platform::PeekMessage(message));
    Message none;
    EXPECT_FALSE(platform::PeekMessage(none));
    EXPECT_EQ(::poll(&descriptor, 1, 0), 0) << "an empty queue resets the descriptor";
    platform::DestroyWindow(window);
}

TEST_F(MessageWindowsTest, WaitMessageReturnsWhenAMessageArrivesOrTheTimeIsUp) {
    const WindowHandle window = platform::CreateMessageWindow(&Recording);
    EXPECT_FALSE(platform::WaitMessage(50ms));
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        platform::PostMessage(window, kPing, 0, 0);
    });
    EXPECT_TRUE(platform::WaitMessage(10s));
    poster.join();
    platform::DestroyWindow(window);
}

TEST_F(MessageWindowsTest, UserDataBelongsToTheWindow) {
    int marker = 0;
    const WindowHandle window = platform::CreateMessageWindow(&Recording, &marker);
    EXPECT_EQ(platform::GetWindowUserData(window), &marker);
    int other = 0;
    EXPECT_TRUE(platform::SetWindowUserData(window, &other));
    EXPECT_EQ(platform::GetWindowUserData(window), &other);
    platform::DestroyWindow(window);
    EXPECT_EQ(platform::GetWindowUserData(window), nullptr);
    EXPECT_FALSE(platform::SetWindowUserData(window, &marker));
}

}  // namespace
