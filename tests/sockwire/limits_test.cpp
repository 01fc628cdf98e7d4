// Limits a peer or a caller cannot push the library past: every blocking operation ends within
// its time-out, large writes arrive whole, and no argument or system shortage ends the process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "SockwireTest.h"
#include "support/LoopbackSockets.h"

namespace {

using namespace std::chrono_literals;
using sockwiretest::Loopback;
using sockwiretest::SockwireTest;

std::uint32_t LastError() {
    return InetGetLastError();
}

// Bytes that differ from their neighbours, so that a repeated or skipped piece shows.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761U) >> 13);
    }
    return bytes;
}

// A connection from the library (timeout `seconds`) to a plain peer socket.
SOCKET ConnectToPeer(moxeltest::Descriptor& peer, std::uint32_t seconds) {
    std::uint16_t port = 0;
    const moxeltest::Descriptor listener = moxeltest::ListenOnLoopback(port);
    const SOCKET client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, seconds);
    if (client != INVALID_SOCKET) {
        peer = moxeltest::AcceptOne(listener);
    }
    return client;
}

// Ends the library from another thread when a case has not finished in time, so that a wait
// without limit fails the test instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds patience)
        : thread([this, patience] {
              std::unique_lock lock(mutex);
              if (!changed.wait_for(lock, patience, [this] { return done; })) {
                  InetUninitialize();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        changed.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread thread;
};

// A peer that holds the library's side up, and what the operation must do within its 1-second
// time-out.
struct HoldingPeerCase {
    const char* label;
    std::function<void(const moxeltest::Descriptor& peer, const std::atomic<bool>& stop)> peer;
    std::function<int(SOCKET)> operation;
    int result;
    std::uint32_t error;
};

TEST_F(SockwireTest, APeerCannotHoldABlockingOperationBeyondItsTimeOut) {
    const HoldingPeerCase cases[] = {
        {"a 10 MB write to a peer that never reads",
         [](const moxeltest::Descriptor&, const std::atomic<bool>&) {},
         [](SOCKET client) {
             const std::string data = Pattern(10 << 20);
             const int first = InetWrite(client, data.data(), static_cast<int>(data.size()));
             if (first <= 0 || first >= static_cast<int>(data.size())) {
                 ADD_FAILURE() << "the first write gives what was taken: " << first;
                 return first;
             }
             // Nothing more fits: the rest fails with the time-out.
             return InetWrite(client, data.data() + first, static_cast<int>(data.size()) - first);
         },
         INET_ERROR, ERROR_INET_TIMEOUT},
        {"a 64 MB write to a peer that reads, but slowly (each wait ends in time, the whole not)",
         [](const moxeltest::Descriptor& peer, const std::atomic<bool>& stop) {
             std::string piece(64 * 1024, '\0');
             while (!stop && ::recv(peer.Get(), piece.data(), piece.size(), 0) > 0) {
                 std::this_thread::sleep_for(15ms);
             }
         },
         [](SOCKET client) {
             const std::string data = Pattern(64 << 20);
             const int sent = InetWrite(client, data.data(), static_cast<int>(data.size()));
             // Part of it, when the time-out has passed.
             return sent > 0 && sent < static_cast<int>(data.size()) ? 1 : sent;
         },
         1, ERROR_INET_TIMEOUT},
        {"a flush while the peer keeps sending",
         [](const moxeltest::Descriptor& peer, const std::atomic<bool>& stop) {
             while (!stop) {
                 moxeltest::SendAll(peer, std::string(512, 'z'));
                 std::this_thread::sleep_for(50ms);
             }
         },
         [](SOCKET client) { return InetFlush(client); }, 0, 0},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        moxeltest::Descriptor peer;
        const SOCKET client = ConnectToPeer(peer, 1);
        ASSERT_NE(client, INVALID_SOCKET) << LastError();
        std::atomic<bool> stop{false};
        std::thread peerThread([&] {
            try {
                item.peer(peer, stop);
            } catch (const std::exception&) {
                // The library's side went away first.
            }
        });
        {
            const Watchdog watchdog(20s);
            const auto started = std::chrono::steady_clock::now();
            InetSetLastError(0);
            EXPECT_EQ(item.operation(client), item.result);
            EXPECT_EQ(LastError(), item.error);
            EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "bounded by the time-out";
        }
        stop = true;
        peerThread.join();
        InetDisconnect(client);
    }
}

TEST_F(SockwireTest, ALargeWriteToASlowReaderArrivesWholeAndInOrder) {
    moxeltest::Descriptor peer;
    const SOCKET client = ConnectToPeer(peer, 10);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    const std::string data = Pattern(8 << 20);
    std::string received;
    std::thread reader([&] {
        char piece[16 * 1024];
        for (;;) {
            const auto count = ::recv(peer.Get(), piece, sizeof(piece), 0);
            if (count <= 0) {
                return;
            }
            received.append(piece, static_cast<std::size_t>(count));
            std::this_thread::sleep_for(1ms);
        }
    });
    EXPECT_TRUE(WriteAll(client, data)) << LastError();
    EXPECT_EQ(InetDisconnect(client), 0);
    reader.join();
    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data) << "the bytes arrive as written";
}

TEST_F(SockwireTest, TimeOutsOfTwoToTheThirtyFirstSecondsDoNotTurnNegative) {
    constexpr std::uint32_t kHuge = 0x80000000U;
    std::uint32_t port = 0;
    const SOCKET listener = Listen(port);
    const SOCKET client = InetConnectA("127.0.0.1", port, INET_PROTOCOL_TCP, kHuge);
    ASSERT_NE(client, INVALID_SOCKET) << LastError();
    const SOCKET server = InetAccept(listener, kHuge);
    ASSERT_NE(server, INVALID_SOCKET) << LastError();
    ASSERT_TRUE(WriteAll(client, "ping"));
    EXPECT_EQ(ReadCount(server, 4), "ping") << "the accepted socket waits with the same time-out";
}

// The process's data (heap and private mappings) in bytes, as the kernel counts it against
// RLIMIT_DATA.
rlim_t DataSize() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmData:", 0) == 0) {
            return static_cast<rlim_t>(std::stoull(line.substr(7))) * 1024;
        }
    }
    return 0;
}

// The W forms with a capacity far beyond their buffer's need: only what the text takes is used.
TEST_F(SockwireTest, AHugeCapacityGivenToAWideFormAllocatesNothingLarge) {
    // Room for half a gigabyte more: gigabytes for a host name fail instead of swapping.
    rlimit saved{};
    ::getrlimit(RLIMIT_DATA, &saved);
    rlimit bounded = saved;
    bounded.rlim_cur = DataSize() + (rlim_t{512} << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_DATA, &bounded), 0);
    char narrow[256];
    ASSERT_EQ(InetGetLocalNameA(narrow, sizeof(narrow)), 0);
    char16_t wide[256];
    EXPECT_EQ(InetGetLocalNameW(wide, INT_MAX), 0) << LastError();
    EXPECT_EQ(std::u16string(wide).size(), std::string(narrow).size());
    EXPECT_EQ(InetGetHostNameW(Loopback(), wide, INT_MAX), 0) << LastError();
    EXPECT_FALSE(std::u16string(wide).empty());
    ::setrlimit(RLIMIT_DATA, &saved);
}

// A thread whose first wait finds no descriptor left for its message queue.
TEST_F(SockwireTest, AWaitWithoutADescriptorToSpareFailsInsteadOfEndingTheProcess) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' own checks need descriptors (a pipe) to read memory";
#endif
    SOCKET result = 0;
    std::uint32_t error = 0;
    std::thread([&] {
        const SOCKET listener = InetListen(Loopback(), 0);
        ASSERT_NE(listener, INVALID_SOCKET);
        rlimit saved{};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit none = saved;
        none.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &none);
        result = InetAccept(listener, 1);
        error = InetGetLastError();
        ::setrlimit(RLIMIT_NOFILE, &saved);
        InetDisconnect(listener);
    }).join();
    EXPECT_EQ(result, INVALID_SOCKET);
    EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_INET_TIMEOUT));
}

}  // namespace
