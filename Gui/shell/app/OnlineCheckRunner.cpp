#include "shell/app/OnlineCheckRunner.h"

#include <QtGlobal>

#include "core/Exception.h"

OnlineCheckRunner::OnlineCheckRunner(Check check, Answer answer)
    : state(std::make_shared<State>()) {
    state->check = std::move(check);
    state->answer = std::move(answer);
    thread = std::thread([shared = state] { Loop(shared); });
}

OnlineCheckRunner::~OnlineCheckRunner() {
    std::unique_lock lock(state->mutex);
    state->stopping = true;
    state->requests.clear();
    state->changed.notify_all();
    const bool ended =
        state->changed.wait_for(lock, kStopWait, [this] { return state->threadEnded; });
    lock.unlock();
    if (ended) {
        thread.join();
    } else {
        qWarning("The on-line check is still running at exit; its answer is dropped.");
        thread.detach();
    }
}

void OnlineCheckRunner::Run(std::string payload) {
    std::lock_guard lock(state->mutex);
    if (!state->stopping) {
        state->requests.push_back(std::move(payload));
        state->changed.notify_all();
    }
}

void OnlineCheckRunner::Loop(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->stopping || !state->requests.empty(); });
        if (state->stopping) {
            break;
        }
        const std::string payload = std::move(state->requests.front());
        state->requests.pop_front();
        lock.unlock();
        bool online = false;
        bool answered = true;
        try {
            online = state->check();
        } catch (const Exception& error) {
            // No balloon for a check that could not be made; the log keeps the reason.
            qWarning("The on-line check failed: %s", error.GetDescription().c_str());
            answered = false;
        } catch (const std::exception& error) {
            qWarning("The on-line check failed: %s", error.what());
            answered = false;
        }
        lock.lock();
        // Answered under the lock, so that the destructor's stop is seen before any answer.
        if (answered && !state->stopping) {
            state->answer(online, payload);
        }
    }
    state->threadEnded = true;
    state->changed.notify_all();
}
