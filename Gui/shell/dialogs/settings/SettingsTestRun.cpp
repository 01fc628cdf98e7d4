#include "shell/dialogs/settings/SettingsTestRun.h"

#include <algorithm>
#include <thread>

namespace {

// The runs not yet reaped; user-interface thread only.
std::vector<std::shared_ptr<SettingsTestRun>>& Runs() {
    static std::vector<std::shared_ptr<SettingsTestRun>> runs;
    return runs;
}

void ReapEnded() {
    auto& runs = Runs();
    runs.erase(
        std::remove_if(runs.begin(), runs.end(), [](const auto& run) { return run->HasEnded(); }),
        runs.end());
}

}  // namespace

std::shared_ptr<SettingsTestRun> SettingsTestRun::Start(
    std::int64_t dispatchPointId, const std::vector<std::string>& addresses,
    const std::optional<std::string>& typedAddress, std::function<bool()> isComputerOnline,
    Listener listener) {
    ReapEnded();
    auto run = std::make_shared<SettingsTestRun>(std::move(isComputerOnline), std::move(listener));
    run->test.Start(
        dispatchPointId, addresses, typedAddress, run->lines,
        [raw = run.get()](const SmtpSettingsTest::Result& result) { raw->Finished(result); });
    Runs().push_back(run);
    return run;
}

bool SettingsTestRun::Busy() {
    ReapEnded();
    return !Runs().empty();
}

void SettingsTestRun::WaitForAll() {
    // Joining each worker: the test's destructor waits for it.
    Runs().clear();
}

bool SettingsTestRun::WaitForAll(std::chrono::milliseconds limit) {
    // The SMTP calls cannot be interrupted, so a run is waited for by looking, not by joining.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        ReapEnded();
        if (Runs().empty()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

SettingsTestRun::SettingsTestRun(std::function<bool()> isComputerOnline, Listener listenerIn)
    : listener(std::move(listenerIn)),
      lines([this](const std::string& line) { Line(line); }),
      test(std::move(isComputerOnline)) {}

void SettingsTestRun::Detach() {
    std::lock_guard lock(mutex);
    listener.reset();
}

bool SettingsTestRun::HasEnded() const {
    std::lock_guard lock(mutex);
    return ended;
}

void SettingsTestRun::Line(const std::string& line) {
    std::lock_guard lock(mutex);
    if (listener && listener->line) {
        listener->line(line);
    }
}

void SettingsTestRun::Finished(const SmtpSettingsTest::Result& result) {
    std::lock_guard lock(mutex);
    ended = true;
    if (listener && listener->finished) {
        listener->finished(result);
    }
}
