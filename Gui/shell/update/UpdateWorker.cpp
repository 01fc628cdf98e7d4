#include "shell/update/UpdateWorker.h"

UpdateWorker::UpdateWorker(Fetch fetchIn, std::chrono::milliseconds retryWaitIn)
    : fetch(std::move(fetchIn)), retryWait(retryWaitIn) {}

UpdateWorker::~UpdateWorker() {
    Stop();
}

void UpdateWorker::Start() {
    if (!thread.joinable()) {
        stopRequested = false;
        thread = std::thread([this] { Run(); });
    }
}

void UpdateWorker::Stop() {
    stopRequested = true;
    if (thread.joinable()) {
        thread.join();
    }
}

std::optional<QString> UpdateWorker::TakeNotification() {
    std::lock_guard lock(mutex);
    return std::exchange(notification, std::nullopt);
}

void UpdateWorker::Run() {
    while (!stopRequested) {
        const std::optional<std::string> answer = fetch(stopRequested);
        if (answer) {
            const QString text = QString::fromUtf8(*answer).trimmed();
            if (text != QLatin1String("no") && !text.isEmpty()) {
                std::lock_guard lock(mutex);
                notification = text;
                return;
            }
        }
        if (!WaitBeforeRetry()) {
            return;
        }
    }
}

bool UpdateWorker::WaitBeforeRetry() {
    const auto deadline = std::chrono::steady_clock::now() + retryWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (stopRequested) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            kStopLookInterval, deadline - std::chrono::steady_clock::now()));
    }
    return !stopRequested;
}
