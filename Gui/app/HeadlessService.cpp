#include "app/HeadlessService.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/ExitCodes.h"
#include "app/commands/CommandTable.h"
#include "core/Application.h"
#include "core/Exception.h"
#include "postoffice/PopPostOffice.h"

namespace {

// Set once by whichever asks first (a signal or a newer copy); read by the main thread.
class StopRequest {
public:
    void Set() {
        {
            std::lock_guard lock(mutex);
            requested = true;
        }
        changed.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return requested; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool requested = false;
};

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

int RunHeadless(const std::string& commandLine) {
    // Blocked before any thread starts, so every thread inherits the mask and only the waiter
    // below receives them.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    StopRequest stop;
    std::thread signalWaiter([&signals, &stop] {
        int received = 0;
        sigwait(&signals, &received);
        stop.Set();
    });

    int exitCode = kExitOk;
    {
        Application application(
            commandLine, [&stop] { stop.Set(); },
            [](const platform::ControlRequest& request, PopPostOffice& postOffice) {
                CommandContext context(&postOffice);
                return RunCommand(request, context);
            });
        try {
            if (application.Start() == Application::StartResult::AlreadyRunning) {
                std::cerr << Application::kAlreadyRunningMessage << std::endl;
                exitCode = kExitAlreadyRunning;
            } else {
                std::cerr << "Moxel is running without a display; stop it with Ctrl+C or SIGTERM."
                          << std::endl;
                stop.Wait();
            }
            application.Shutdown();
        } catch (const Exception& error) {
            std::cerr << "Moxel could not start: " << error.GetDescription() << std::endl;
            exitCode = kExitStartFailed;
        }
    }

    // Wake the waiter if no signal came, so that it can be joined.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return exitCode;
}
