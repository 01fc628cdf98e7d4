#include "shell/app/QuitSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/Exception.h"

namespace {

// The pipe's write end for the handler; -1 when no QuitSignals is installed.
std::atomic<int> signalPipe{-1};

constexpr char kSignalled = 1;
constexpr char kStop = 0;

extern "C" void OnQuitSignal(int) {
    const int savedErrno = errno;
    const int fd = signalPipe.load();
    if (fd >= 0) {
        // A full pipe already holds a wake-up; losing this one changes nothing.
        [[maybe_unused]] const auto written = write(fd, &kSignalled, 1);
    }
    errno = savedErrno;
}

void Install(int signal, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, &previous);
}

}  // namespace

QuitSignals::QuitSignals() {
    int ends[2];
    // Close-on-exec: the programs the shell starts must not hold it open.
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw Exception("Cannot create the pipe for the quit signals");
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    signalPipe = writeEnd;
    Install(SIGINT, previousInterrupt);
    Install(SIGTERM, previousTerminate);
}

QuitSignals::~QuitSignals() {
    Stop();
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    signalPipe = -1;
    close(readEnd);
    close(writeEnd);
}

void QuitSignals::Stop() {
    if (waiter.joinable()) {
        [[maybe_unused]] const auto written = write(writeEnd, &kStop, 1);
        waiter.join();
    }
}

void QuitSignals::Start(std::function<void()> onSignal) {
    waiter = std::thread([this, onSignal = std::move(onSignal)] {
        for (;;) {
            char byte = kStop;
            const auto got = read(readEnd, &byte, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0 || byte == kStop) {
                return;
            }
            onSignal();
        }
    });
}
