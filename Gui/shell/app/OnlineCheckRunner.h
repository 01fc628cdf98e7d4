#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs the on-line check for failed downloads on a thread of its own: the check can take minutes
// (six hosts, five echoes of three seconds each), and neither the user-interface thread nor the
// collection thread should wait for it. Requests are answered one after the other.
// Created and destroyed on one thread; Run may be called from any thread.
class OnlineCheckRunner {
public:
    // True when the computer is on line; may throw (then no answer is given).
    using Check = std::function<bool()>;
    // Called on the runner's thread with the result and the request's payload; never after the
    // runner's destructor has begun.
    using Answer = std::function<void(bool online, const std::string& payload)>;

    // How long the destructor waits for a check in progress before leaving it behind.
    static constexpr std::chrono::seconds kStopWait{2};

    OnlineCheckRunner(Check check, Answer answer);
    // Drops the waiting requests and waits up to kStopWait for a check in progress; a check that
    // takes longer finishes on its own, and its answer is dropped.
    ~OnlineCheckRunner();
    OnlineCheckRunner(const OnlineCheckRunner&) = delete;
    OnlineCheckRunner& operator=(const OnlineCheckRunner&) = delete;

    // Queues one check; `payload` comes back with its answer.
    void Run(std::string payload);

private:
    // Shared with the thread, so that a thread left behind never touches a destroyed runner.
    struct State {
        Check check;
        Answer answer;
        std::mutex mutex;
        std::condition_variable changed;
        // Guarded by `mutex`.
        std::deque<std::string> requests;
        bool stopping = false;
        bool threadEnded = false;
    };
    static void Loop(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state;
    std::thread thread;
};
