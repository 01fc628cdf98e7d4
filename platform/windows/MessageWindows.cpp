#include "platform/windows/MessageWindows.h"

#include "platform/ThreadId.h"
#include "platform/windows/ThreadMessageQueue.h"
#include "platform/windows/WindowRegistry.h"

namespace platform {

WindowHandle CreateMessageWindow(WindowProcedure procedure, void* userData) {
    return WindowRegistry::Instance().Create(procedure, userData);
}

bool DestroyWindow(WindowHandle window) {
    return WindowRegistry::Instance().Destroy(window);
}

bool IsWindow(WindowHandle window) {
    return WindowRegistry::Instance().Exists(window);
}

std::uint32_t GetWindowThreadId(WindowHandle window) {
    const auto record = WindowRegistry::Instance().Find(window);
    return record ? record->ownerThread : 0;
}

WindowProcedure GetWindowProcedure(WindowHandle window) {
    const auto record = WindowRegistry::Instance().Find(window);
    return record ? record->procedure.load() : nullptr;
}

WindowProcedure SetWindowProcedure(WindowHandle window, WindowProcedure procedure) {
    const auto record = WindowRegistry::Instance().Find(window);
    return record ? record->procedure.exchange(procedure) : nullptr;
}

void* GetWindowUserData(WindowHandle window) {
    const auto record = WindowRegistry::Instance().Find(window);
    return record ? record->userData.load() : nullptr;
}

bool SetWindowUserData(WindowHandle window, void* userData) {
    const auto record = WindowRegistry::Instance().Find(window);
    if (!record) {
        return false;
    }
    record->userData = userData;
    return true;
}

std::intptr_t CallWindowProcedure(WindowProcedure procedure, WindowHandle window,
                                  std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

bool PostMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                 std::intptr_t lParam) {
    const auto record = WindowRegistry::Instance().Find(window);
    return record && record->queue->Post({window, message, wParam, lParam});
}

std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    const auto record = WindowRegistry::Instance().Find(window);
    if (!record) {
        return 0;
    }
    if (record->ownerThread == CurrentThreadId()) {
        return WindowRegistry::Instance().Deliver({window, message, wParam, lParam});
    }
    return *record->queue->SendFrom(*ThreadMessageQueue::Current(),
                                    {window, message, wParam, lParam});
}

bool SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                        std::intptr_t lParam, std::chrono::milliseconds timeout,
                        std::intptr_t* result) {
    const auto record = WindowRegistry::Instance().Find(window);
    if (!record) {
        return false;
    }
    std::optional<std::intptr_t> answer;
    if (record->ownerThread == CurrentThreadId()) {
        answer = WindowRegistry::Instance().Deliver({window, message, wParam, lParam});
    } else {
        answer = record->queue->SendFrom(*ThreadMessageQueue::Current(),
                                         {window, message, wParam, lParam},
                                         std::chrono::steady_clock::now() + timeout);
    }
    if (answer && result) {
        *result = *answer;
    }
    return answer.has_value();
}

bool PeekMessage(Message& message, bool remove) {
    const auto queue = ThreadMessageQueue::Current();
    queue->ProcessSentMessages();
    const auto taken = queue->TakePosted(remove);
    if (!taken) {
        return false;
    }
    message = *taken;
    return true;
}

std::intptr_t DispatchMessage(const Message& message) {
    return WindowRegistry::Instance().Deliver(message);
}

bool WaitMessage(std::chrono::milliseconds timeout) {
    const auto queue = ThreadMessageQueue::Current();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        queue->ProcessSentMessages();
        if (queue->TakePosted(false)) {
            return true;
        }
        std::chrono::milliseconds left(-1);
        if (timeout.count() >= 0) {
            left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
        }
        queue->Wait(left);
    }
}

int MessageQueueDescriptor() {
    return ThreadMessageQueue::Current()->Descriptor();
}

}  // namespace platform
