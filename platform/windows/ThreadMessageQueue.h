#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/windows/Message.h"

namespace platform {

class ThreadMessageQueue;

// A message sent by one thread to a window of another; the sender waits until `done`.
struct SentMessage {
    Message message;
    std::weak_ptr<ThreadMessageQueue> sender;
    // Both guarded by the sender queue's mutex.
    std::intptr_t result = 0;
    bool done = false;
};

// The message queue of one thread: posted messages, waiting in order, and messages sent from
// other threads, which are processed before any posted message is handed out. Other threads
// post and send into it; only its own thread takes messages out. It lives as long as its
// thread (and any window record that still refers to it); once closed, posts fail and waiting
// senders get 0.
class ThreadMessageQueue : public std::enable_shared_from_this<ThreadMessageQueue> {
public:
    explicit ThreadMessageQueue(std::uint32_t threadId);
    ~ThreadMessageQueue();
    ThreadMessageQueue(const ThreadMessageQueue&) = delete;
    ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

    // The calling thread's queue, created on first use and closed when the thread ends.
    static std::shared_ptr<ThreadMessageQueue> Current();

    std::uint32_t ThreadId() const { return threadId; }

    // Any thread. False when the queue's thread has ended.
    bool Post(const Message& message);

    // Any thread but the owner: queues `message` for the owner and waits for its result,
    // processing messages sent to the calling thread meanwhile (two threads that send to each
    // other do not deadlock). Returns 0 when the owner thread ends first. With a deadline, the
    // wait ends there: a message the owner has not taken yet is withdrawn, and the result is
    // none.
    std::optional<std::intptr_t> SendFrom(
        ThreadMessageQueue& senderQueue, const Message& message,
        std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

    // Owner thread only. Processes every message sent from other threads. True when any was.
    bool ProcessSentMessages();

    // Owner thread only. The oldest posted message whose window still exists (messages for
    // destroyed windows are dropped), removed from the queue when `remove` is set.
    std::optional<Message> TakePosted(bool remove);

    // Owner thread only. Waits until a posted or sent message is waiting, at most `timeout`
    // (negative: without limit). True when one is waiting.
    bool Wait(std::chrono::milliseconds timeout);

    // A descriptor that polls readable while a message may be waiting for the owner thread;
    // it is reset when the owner finds the queue empty. For loops that wait on sockets and
    // messages at once. -1 when the process had no descriptor to spare.
    int Descriptor() const { return eventFd; }

    // Any thread: stores the result of `item`, a message this queue's thread sent, and wakes
    // that thread.
    void CompleteReply(SentMessage& item, std::intptr_t result);

    // Ends the queue at thread end: later posts fail, pending senders are released with 0.
    void Close();

private:
    void WakeLocked();
    void ResetWakeIfEmptyLocked();
    // False when the deadline passed first.
    bool WaitForReply(const std::shared_ptr<SentMessage>& item,
                      std::optional<std::chrono::steady_clock::time_point> deadline);
    // Takes a sent message out of the queue unless the owner has taken it already.
    bool Withdraw(const std::shared_ptr<SentMessage>& item);

    const std::uint32_t threadId;
    int eventFd = -1;
    mutable std::mutex mutex;
    // Signalled when a sent message arrives or a reply to one of this thread's sends is done.
    std::condition_variable changed;
    std::deque<Message> posted;                     // guarded by mutex
    std::deque<std::shared_ptr<SentMessage>> sent;  // guarded by mutex
    bool open = true;                               // guarded by mutex
};

}  // namespace platform
