#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/windows/Message.h"

namespace popwire {

// Posts window messages at given times: how an asynchronous client, whose thread waits in its
// own message loop, learns that its wait has run out. One thread per process, started with the
// first request and stopped when the library leaves the process. Any thread.
class DeadlineAlarm {
public:
    static DeadlineAlarm& Instance();
    ~DeadlineAlarm();
    DeadlineAlarm(const DeadlineAlarm&) = delete;
    DeadlineAlarm& operator=(const DeadlineAlarm&) = delete;

    // Posts `message` to `window` at `when` (a window gone by then gets nothing). False when the
    // alarm thread cannot be started.
    bool PostAt(std::chrono::steady_clock::time_point when, const platform::Message& message);

private:
    DeadlineAlarm() = default;
    void Run();

    std::mutex mutex;
    std::condition_variable changed;
    std::multimap<std::chrono::steady_clock::time_point, platform::Message> due;  // by mutex
    bool stopping = false;                                                        // by mutex
    std::thread worker;                                                           // by mutex
};

}  // namespace popwire
