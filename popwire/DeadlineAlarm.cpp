#include "popwire/DeadlineAlarm.h"

#include <system_error>

#include "platform/windows/MessageWindows.h"

namespace popwire {

DeadlineAlarm& DeadlineAlarm::Instance() {
    static DeadlineAlarm alarm;
    return alarm;
}

DeadlineAlarm::~DeadlineAlarm() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    // The thread runs the library's code: it must end before the library is unloaded.
    if (worker.joinable()) {
        worker.join();
    }
}

bool DeadlineAlarm::PostAt(std::chrono::steady_clock::time_point when,
                           const platform::Message& message) {
    std::lock_guard lock(mutex);
    if (!worker.joinable()) {
        try {
            worker = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    due.emplace(when, message);
    changed.notify_all();
    return true;
}

void DeadlineAlarm::Run() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (due.empty()) {
            changed.wait(lock);
            continue;
        }
        const auto first = due.begin();
        if (std::chrono::steady_clock::now() < first->first) {
            changed.wait_until(lock, first->first);
            continue;
        }
        const platform::Message message = first->second;
        due.erase(first);
        platform::PostMessage(message.window, message.message, message.wParam, message.lParam);
    }
}

}  // namespace popwire
