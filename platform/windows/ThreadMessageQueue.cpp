#include "platform/windows/ThreadMessageQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ThreadId.h"
#include "platform/windows/WindowRegistry.h"

namespace platform {

namespace {

// Owns the calling thread's queue; at thread end the thread's windows go away with it.
struct QueueHolder {
    std::shared_ptr<ThreadMessageQueue> queue;
    ~QueueHolder() {
        if (queue) {
            WindowRegistry::Instance().RemoveThreadWindows(queue->ThreadId());
            queue->Close();
        }
    }
};

void Complete(const std::shared_ptr<SentMessage>& item, std::intptr_t result) {
    if (auto senderQueue = item->sender.lock()) {
        senderQueue->CompleteReply(*item, result);
    }
}

}  // namespace

ThreadMessageQueue::ThreadMessageQueue(std::uint32_t id) : threadId(id) {
    // Without a descriptor (the process has none left) the queue still works; only loops that
    // poll sockets and the queue at once cannot see its messages.
    eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ThreadMessageQueue::~ThreadMessageQueue() {
    if (eventFd >= 0) {
        ::close(eventFd);
    }
}

std::shared_ptr<ThreadMessageQueue> ThreadMessageQueue::Current() {
    thread_local QueueHolder holder;
    if (!holder.queue) {
        holder.queue = std::make_shared<ThreadMessageQueue>(CurrentThreadId());
    }
    return holder.queue;
}

bool ThreadMessageQueue::Post(const Message& message) {
    std::lock_guard lock(mutex);
    if (!open) {
        return false;
    }
    posted.push_back(message);
    WakeLocked();
    changed.notify_all();
    return true;
}

std::optional<std::intptr_t> ThreadMessageQueue::SendFrom(
    ThreadMessageQueue& senderQueue, const Message& message,
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    auto item = std::make_shared<SentMessage>();
    item->message = message;
    item->sender = senderQueue.weak_from_this();
    {
        std::lock_guard lock(mutex);
        if (!open) {
            return 0;
        }
        sent.push_back(item);
        WakeLocked();
        changed.notify_all();
    }
    if (!senderQueue.WaitForReply(item, deadline) && Withdraw(item)) {
        return std::nullopt;
    }
    // Taken by the owner just now: its result follows.
    senderQueue.WaitForReply(item, std::nullopt);
    std::lock_guard lock(senderQueue.mutex);
    return item->result;
}

bool ThreadMessageQueue::Withdraw(const std::shared_ptr<SentMessage>& item) {
    std::lock_guard lock(mutex);
    const auto found = std::find(sent.begin(), sent.end(), item);
    if (found == sent.end()) {
        return false;
    }
    sent.erase(found);
    ResetWakeIfEmptyLocked();
    return true;
}

void ThreadMessageQueue::CompleteReply(SentMessage& item, std::intptr_t result) {
    std::lock_guard lock(mutex);
    item.result = result;
    item.done = true;
    changed.notify_all();
}

bool ThreadMessageQueue::WaitForReply(
    const std::shared_ptr<SentMessage>& item,
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::unique_lock lock(mutex);
    while (!item->done) {
        if (!sent.empty()) {
            lock.unlock();
            ProcessSentMessages();
            lock.lock();
            continue;
        }
        if (!deadline) {
            changed.wait(lock);
        } else if (changed.wait_until(lock, *deadline) == std::cv_status::timeout && !item->done) {
            return false;
        }
    }
    return true;
}

bool ThreadMessageQueue::ProcessSentMessages() {
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> item;
        {
            std::lock_guard lock(mutex);
            if (sent.empty()) {
                ResetWakeIfEmptyLocked();
                return any;
            }
            item = sent.front();
            sent.pop_front();
        }
        any = true;
        Complete(item, WindowRegistry::Instance().Deliver(item->message));
    }
}

std::optional<Message> ThreadMessageQueue::TakePosted(bool remove) {
    std::lock_guard lock(mutex);
    while (!posted.empty()) {
        const Message message = posted.front();
        if (!WindowRegistry::Instance().Exists(message.window)) {
            posted.pop_front();
            continue;
        }
        if (remove) {
            posted.pop_front();
            ResetWakeIfEmptyLocked();
        }
        return message;
    }
    ResetWakeIfEmptyLocked();
    return std::nullopt;
}

bool ThreadMessageQueue::Wait(std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(mutex);
        if (!posted.empty() || !sent.empty()) {
            return true;
        }
    }
    if (eventFd < 0) {
        std::unique_lock lock(mutex);
        const auto waiting = [this] { return !posted.empty() || !sent.empty(); };
        if (timeout.count() < 0) {
            changed.wait(lock, waiting);
            return true;
        }
        return changed.wait_for(lock, timeout, waiting);
    }
    pollfd descriptor{eventFd, POLLIN, 0};
    const int milliseconds = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    int ready;
    do {
        ready = ::poll(&descriptor, 1, milliseconds);
    } while (ready < 0 && errno == EINTR);
    std::lock_guard lock(mutex);
    return !posted.empty() || !sent.empty();
}

void ThreadMessageQueue::Close() {
    std::deque<std::shared_ptr<SentMessage>> abandoned;
    {
        std::lock_guard lock(mutex);
        open = false;
        posted.clear();
        abandoned.swap(sent);
    }
    for (const auto& item : abandoned) {
        Complete(item, 0);
    }
}

void ThreadMessageQueue::WakeLocked() {
    if (eventFd < 0) {
        return;
    }
    const std::uint64_t one = 1;
    // A full counter (after 2^64-2 unread wake-ups) still polls readable, which is all we need.
    [[maybe_unused]] const auto written = ::write(eventFd, &one, sizeof(one));
}

void ThreadMessageQueue::ResetWakeIfEmptyLocked() {
    if (posted.empty() && sent.empty() && eventFd >= 0) {
        std::uint64_t count;
        [[maybe_unused]] const auto read = ::read(eventFd, &count, sizeof(count));
    }
}

}  // namespace platform
