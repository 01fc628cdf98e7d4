#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Asks the update service whether a newer program version exists, on a thread of its own. An
// answer "no" or a failed fetch makes it wait (12 hours by default, looking every 100 ms whether
// it should stop) and ask again; any other answer is the notification text, which it keeps for
// the frame and then ends. Created, started, stopped and polled on the user-interface thread.
class UpdateWorker {
public:
    // One fetch of the update address: the answer's text, or nothing when the fetch failed.
    // Called on the worker's thread; `stopRequested` turns true when the worker should stop.
    using Fetch = std::function<std::optional<std::string>(const std::atomic<bool>& stopRequested)>;

    static constexpr std::chrono::milliseconds kRetryWait = std::chrono::hours(12);
    static constexpr std::chrono::milliseconds kStopLookInterval{100};

    explicit UpdateWorker(Fetch fetch, std::chrono::milliseconds retryWait = kRetryWait);
    // Stops the thread.
    ~UpdateWorker();
    UpdateWorker(const UpdateWorker&) = delete;
    UpdateWorker& operator=(const UpdateWorker&) = delete;

    void Start();
    // Asks the thread to stop and waits for it: at most one stop look (100 ms) while waiting, or
    // until the fetch in progress gives up (it watches the same flag).
    void Stop();

    // The notification text, once; empty before the worker has one and after it was taken.
    std::optional<QString> TakeNotification();

private:
    void Run();
    // Waits `retryWait`; false when asked to stop meanwhile.
    bool WaitBeforeRetry();

    Fetch fetch;
    std::chrono::milliseconds retryWait;
    std::atomic<bool> stopRequested{false};
    // Guarded by `mutex`: written by the worker thread, taken by the user-interface thread.
    std::mutex mutex;
    std::optional<QString> notification;
    std::thread thread;
};
