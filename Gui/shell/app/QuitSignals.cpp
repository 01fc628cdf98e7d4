#include "shell/app/QuitSignals.h"

#include <pthread.h>

QuitSignals::QuitSignals() {
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QuitSignals::~QuitSignals() {
    Stop();
}

void QuitSignals::Stop() {
    stopping = true;
    if (waiter.joinable()) {
        // Wakes the waiter if no signal came.
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
    }
}

void QuitSignals::Start(std::function<void()> onSignal) {
    waiter = std::thread([this, onSignal = std::move(onSignal)] {
        int received = 0;
        sigwait(&set, &received);
        if (!stopping) {
            onSignal();
        }
    });
}
