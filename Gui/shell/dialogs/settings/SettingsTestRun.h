#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/SettingsTestLines.h"
#include "dispatch/SmtpSettingsTest.h"

// One SMTP settings test started from the test dialog. It outlives the dialog: a dialog closed
// while its test runs only stops listening, and the run ends on its worker (every SMTP call has
// its own time-out). The runs are kept until they end; the program waits for them at exit.
//
// Created, started, detached and reaped on the user-interface thread; the listener is called on
// the test's worker under the run's lock, so that after Detach returns it is never called again.
class SettingsTestRun {
public:
    struct Listener {
        std::function<void(const std::string& line)> line;
        std::function<void(const SmtpSettingsTest::Result& result)> finished;
    };

    // Starts a test of the dispatch point on a new worker and keeps the run. The previous run,
    // if still running, must have ended (see Busy). Throws Exception kNoAddresses when
    // `addresses` is empty.
    static std::shared_ptr<SettingsTestRun> Start(std::int64_t dispatchPointId,
                                                  const std::vector<std::string>& addresses,
                                                  const std::optional<std::string>& typedAddress,
                                                  std::function<bool()> isComputerOnline,
                                                  Listener listener);
    // True while a run started earlier has not ended; a new test waits for it.
    static bool Busy();
    // Waits for every run that has not ended (at exit, before the database goes away).
    static void WaitForAll();
    // Waits at most `limit` for the runs to end; false when one still runs, which then keeps
    // the program from ending normally (its worker is joined when the run goes).
    static bool WaitForAll(std::chrono::milliseconds limit);

    explicit SettingsTestRun(std::function<bool()> isComputerOnline, Listener listener);
    SettingsTestRun(const SettingsTestRun&) = delete;
    SettingsTestRun& operator=(const SettingsTestRun&) = delete;

    // No more calls of the listener once this returns.
    void Detach();
    bool HasEnded() const;

private:
    void Line(const std::string& line);
    void Finished(const SmtpSettingsTest::Result& result);

    mutable std::mutex mutex;
    // Guarded by `mutex`.
    std::optional<Listener> listener;
    bool ended = false;
    // Declared before the test, so that the worker, joined by the test's destructor, never sees
    // them destroyed.
    SettingsTestLines lines;
    SmtpSettingsTest test;
};
