#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/MoxelCoreEventHandler.h"
#include "postoffice/MailDeliveryPointsData.h"

// Tests the SMTP settings by sending one letter from each protected address (and from an
// address the user typed) to the user's own address, through the dispatch point, on a worker
// thread. The letters share the box with the real outgoing mail, so waiting letters that are
// due go out in the same run, and letters that are not yet due make the test fail.
//
// Start and Wait are called by one thread (the user interface's); the worker owns everything it
// builds (its own dispatch point object and database connection).
class SmtpSettingsTest {
public:
    enum class Outcome { Passed, Incorrect, NoInternet };
    struct Result {
        Outcome outcome = Outcome::Incorrect;
        // The failure that ended the run early, or null when the run completed.
        std::exception_ptr failure;
    };

    static constexpr char kNoAddresses[] = "No addresses to verify.";
    // The text the dialog shows for an outcome.
    static std::string OutcomeText(Outcome outcome);

    // `isComputerOnline` tells a failed test with a working connection from one without;
    // it is called on the worker.
    explicit SmtpSettingsTest(std::function<bool()> isComputerOnline);
    // Waits for a worker still running.
    ~SmtpSettingsTest();
    SmtpSettingsTest(const SmtpSettingsTest&) = delete;
    SmtpSettingsTest& operator=(const SmtpSettingsTest&) = delete;

    // The addresses of the protected accounts in `accounts`, then `typedAddress` when given
    // and not empty.
    static std::vector<std::string> AddressesToTest(
        const DatabaseLayer::MailDeliveryPointsData& accounts,
        const std::optional<std::string>& typedAddress);

    // Starts a test of the dispatch point `dispatchPointId` on a new worker, after waiting for
    // the worker of an earlier test. The letters go to `typedAddress` when given, else to the
    // first of `addresses`. The events of the run go to `handler` (not owned; it must outlive
    // the worker), and `onFinished` (if given) gets the result on the worker at the end.
    // Throws Exception kNoAddresses at once when `addresses` is empty.
    void Start(std::int64_t dispatchPointId, const std::vector<std::string>& addresses,
               const std::optional<std::string>& typedAddress, MoxelCoreEventHandler& handler,
               std::function<void(const Result&)> onFinished = {});
    // Waits for the worker and gives its result. Throws Exception "No settings test was started"
    // when none was.
    Result Wait();

private:
    void Run(std::int64_t dispatchPointId, const std::vector<std::string>& senders,
             const std::string& recipient, MoxelCoreEventHandler& handler,
             const std::function<void(const Result&)>& onFinished);
    Result RunOnWorker(std::int64_t dispatchPointId, const std::vector<std::string>& senders,
                       const std::string& recipient, MoxelCoreEventHandler& handler);

    const std::function<bool()> isComputerOnline;
    std::thread worker;  // started and joined by the calling thread
    std::mutex mutex;
    // Guarded by `mutex`; written by the worker, read after it is joined.
    std::optional<Result> result;
};
