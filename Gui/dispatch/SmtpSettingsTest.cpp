#include "dispatch/SmtpSettingsTest.h"

#include <utility>

#include "core/EventReporter.h"
#include "core/Exception.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/LetterBoxLock.h"
#include "database/TypeRegistry.h"
#include "dispatch/DispatchPoint.h"
#include "dispatch/SettingsTestLetter.h"

namespace {

// Removes the handler from the run's reporter however the run ends.
class HandlerRegistration {
public:
    HandlerRegistration(EventReporter& reporterIn, MoxelCoreEventHandler& handlerIn)
        : reporter(reporterIn), handler(handlerIn) {
        reporter.AddHandler(&handler);
    }
    ~HandlerRegistration() { reporter.RemoveHandler(&handler); }
    HandlerRegistration(const HandlerRegistration&) = delete;
    HandlerRegistration& operator=(const HandlerRegistration&) = delete;

private:
    EventReporter& reporter;
    MoxelCoreEventHandler& handler;
};

}  // namespace

std::string SmtpSettingsTest::OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Passed:
            return "Your settings have PASSED the test.";
        case Outcome::Incorrect:
            return "Your settings seem INCORRECT!";
        case Outcome::NoInternet:
            return "It seems that you have no connection to the Internet.";
    }
    return {};
}

SmtpSettingsTest::SmtpSettingsTest(std::function<bool()> isComputerOnlineIn)
    : isComputerOnline(std::move(isComputerOnlineIn)) {}

SmtpSettingsTest::~SmtpSettingsTest() {
    if (worker.joinable()) {
        worker.join();
    }
}

std::vector<std::string> SmtpSettingsTest::AddressesToTest(
    const DatabaseLayer::MailDeliveryPointsData& accounts,
    const std::optional<std::string>& typedAddress) {
    std::vector<std::string> addresses;
    for (const std::int64_t id : accounts.GetElementIds()) {
        addresses.push_back(DatabaseLayer::MailDeliveryPointData(id).GetAddress());
    }
    if (typedAddress && !typedAddress->empty()) {
        addresses.push_back(*typedAddress);
    }
    return addresses;
}

void SmtpSettingsTest::Start(std::int64_t dispatchPointId,
                             const std::vector<std::string>& addresses,
                             const std::optional<std::string>& typedAddress,
                             MoxelCoreEventHandler& handler,
                             std::function<void(const Result&)> onFinished) {
    if (addresses.empty()) {
        throw Exception(kNoAddresses);
    }
    if (worker.joinable()) {
        worker.join();
    }
    {
        std::lock_guard lock(mutex);
        result.reset();
    }
    const std::string recipient =
        typedAddress && !typedAddress->empty() ? *typedAddress : addresses.front();
    worker = std::thread(
        [this, dispatchPointId, addresses, recipient, &handler, finished = std::move(onFinished)] {
            Run(dispatchPointId, addresses, recipient, handler, finished);
        });
}

SmtpSettingsTest::Result SmtpSettingsTest::Wait() {
    if (!worker.joinable()) {
        std::lock_guard lock(mutex);
        if (!result) {
            throw Exception("No settings test was started");
        }
        return *result;
    }
    worker.join();
    std::lock_guard lock(mutex);
    return *result;
}

void SmtpSettingsTest::Run(std::int64_t dispatchPointId, const std::vector<std::string>& senders,
                           const std::string& recipient, MoxelCoreEventHandler& handler,
                           const std::function<void(const Result&)>& onFinished) {
    Result outcome;
    try {
        outcome = RunOnWorker(dispatchPointId, senders, recipient, handler);
    } catch (...) {
        // Even a database that cannot be opened on this thread ends as a failed test.
        outcome.failure = std::current_exception();
        try {
            outcome.outcome = isComputerOnline() ? Outcome::Incorrect : Outcome::NoInternet;
        } catch (...) {
            outcome.outcome = Outcome::Incorrect;
        }
    }
    {
        std::lock_guard lock(mutex);
        result = outcome;
    }
    if (onFinished) {
        try {
            onFinished(outcome);
        } catch (...) {
            // The shell's own handler; nothing here could report its failure better than it.
        }
    }
}

SmtpSettingsTest::Result SmtpSettingsTest::RunOnWorker(std::int64_t dispatchPointId,
                                                       const std::vector<std::string>& senders,
                                                       const std::string& recipient,
                                                       MoxelCoreEventHandler& handler) {
    const ThreadDataScope threadData;
    const auto dispatchPoint = DatabaseLayer::TypeRegistry<DispatchPoint>::CreateFromTable(
        DatabaseLayer::DispatchPointDataTable(), dispatchPointId);
    LetterBox& box = dispatchPoint->GetLetterBox();
    {
        LetterBoxLock lock(box);
        for (const std::string& sender : senders) {
            box.MoveLetterHere(MakeSettingsTestLetter(sender, recipient));
        }
    }
    EventReporter reporter;
    const HandlerRegistration registration(reporter, handler);
    // No test letter may be delivered locally: the test is of the SMTP server.
    DatabaseLayer::MailDeliveryPointsData noAccounts;
    Result outcome;
    try {
        dispatchPoint->DispatchLetters(RealTimeClock(), noAccounts, reporter);
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    bool empty = false;
    {
        LetterBoxLock lock(box);
        empty = box.GetLetterCount() == 0;
    }
    if (empty && !outcome.failure) {
        outcome.outcome = Outcome::Passed;
    } else {
        // A failing on-line check must not hide the failure of the run itself.
        try {
            outcome.outcome = isComputerOnline() ? Outcome::Incorrect : Outcome::NoInternet;
        } catch (...) {
            outcome.outcome = Outcome::Incorrect;
        }
    }
    return outcome;
}
