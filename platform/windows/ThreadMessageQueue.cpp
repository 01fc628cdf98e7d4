#include "platform/windows/ThreadMessageQueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

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
    eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd < 0) {
        throw std::system_error(errno, std::generic_category(), "Cannot create a message queue");
    }
}

ThreadMessageQueue::~ThreadMessageQueue() {
    ::close(eventFd);
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
    return true;
}

std::intptr_t ThreadMessageQueue::SendFrom(ThreadMessageQueue& senderQueue,
                                           const Message& message) {
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
    senderQueue.WaitForReply(item);
    std::lock_guard lock(senderQueue.mutex);
    return item->result;
}

void ThreadMessageQueue::CompleteReply(SentMessage& item, std::intptr_t result) {
    std::lock_guard lock(mutex);
    item.result = result;
    item.done = true;
    changed.notify_all();
}

void ThreadMessageQueue::WaitForReply(const std::shared_ptr<SentMessage>& item) {
    std::unique_lock lock(mutex);
    while (!item->done) {
        if (!sent.empty()) {
            lock.unlock();
            ProcessSentMessages();
            lock.lock();
            continue;
        }
        changed.wait(lock);
    }
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
    const std::uint64_t one = 1;
    // A full counter (after 2^64-2 unread wake-ups) still polls readable, which is all we need.
    [[maybe_unused]] const auto written = ::write(eventFd, &one, sizeof(one));
}

void ThreadMessageQueue::ResetWakeIfEmptyLocked() {
    if (posted.empty() && sent.empty()) {
        std::uint64_t count;
        [[maybe_unused]] const auto read = ::read(eventFd, &count, sizeof(count));
    }
}

}  // namespace platform
