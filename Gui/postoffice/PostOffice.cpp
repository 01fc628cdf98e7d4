#include "postoffice/PostOffice.h"

#include <system_error>

#include "core/Exception.h"
#include "core/RealTimeClock.h"
#include "core/TimeCard.h"
#include "dispatch/DispatchPoint.h"

namespace {

constexpr const char* kAlreadyRunning = "PostOffice CollectLettersOnce thread is already running.";

}  // namespace

PostOffice::PostOffice(std::shared_ptr<DispatchPoint> dispatchPoint)
    : data(std::move(dispatchPoint)), clock(std::make_shared<RealTimeClock>()) {}

PostOffice::PostOffice(std::int64_t id) : data(id), clock(std::make_shared<RealTimeClock>()) {}

PostOffice::~PostOffice() {
    try {
        control->RequestStop();
        WaitForThread(kStopTimeout);
    } catch (...) {
        // Destructors never throw; the thread shares nothing that dies with this object.
    }
}

void PostOffice::SetEventReporter(std::shared_ptr<EventReporter> reporter) {
    eventReporter = std::move(reporter);
}

void PostOffice::StartCollecting(int workInterval) {
    TimeCard::PunchIn();
    if (!control->BeginStart()) {
        throw Exception(kAlreadyRunning);
    }
    StartThread(CollectLettersRepeatedlyThreadFunction(GetId(), control, clock, eventReporter,
                                                       workInterval, ticks));
}

void PostOffice::CollectNow() {
    control->RequestCollection();
    if (control->BeginStart()) {
        // No thread to answer the request: one run of its own, to its end (a command given
        // while the program does not collect at intervals still collects).
        TimeCard::PunchIn();
        StartThread(CollectLettersThreadFunction(GetId(), control, clock, eventReporter));
    }
}

std::optional<CollectionOutcome> PostOffice::CollectNowAndWait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto finishedBefore = control->RequestCollection();
    CollectNow();
    return control->WaitForRunAfter(finishedBefore, deadline);
}

bool PostOffice::Stop(std::chrono::milliseconds timeout) {
    TimeCard::PunchOut();
    control->RequestStop();
    return WaitForThread(timeout);
}

template <typename Function>
void PostOffice::StartThread(Function function) {
    JoinEndedThread();
    try {
        thread = std::thread([control = control, function = std::move(function)]() mutable {
            control->EnterRunning();
            // A request that came after the last run found this thread still there and so
            // started none of its own.
            do {
                function();
            } while (!control->EndUnlessRequested());
        });
    } catch (const std::system_error& error) {
        control->SetState(State::Idle);
        throw Exception("Cannot start the collection thread", Exception(error));
    }
}

void PostOffice::JoinEndedThread() {
    // Only called with the state idle or starting, so the thread has left its function.
    if (thread.joinable()) {
        thread.join();
    }
}

bool PostOffice::WaitForThread(std::chrono::milliseconds timeout) {
    if (!control->WaitUntilIdle(std::chrono::steady_clock::now() + timeout)) {
        eventReporter->ErrorOccurred("The collection thread did not stop in time");
        // It holds shared references only, so it may finish on its own.
        if (thread.joinable()) {
            thread.detach();
        }
        return false;
    }
    if (thread.joinable()) {
        thread.join();
    }
    return true;
}

void PostOffice::OnAttachDeliveryPoint(const LetterBoxKey&, MailDeliveryPoint&) {}

bool PostOffice::AttachDeliveryPoint(const LetterBoxKey& key, MailDeliveryPoint& point) {
    OnAttachDeliveryPoint(key, point);
    return data.GetDeliveryPoints().Attach(key, point);
}

MailDeliveryPointPtr PostOffice::FindDeliveryPoint(const LetterBoxKey& key) {
    return data.GetDeliveryPoints().Find(key);
}

LetterBoxPtr PostOffice::GetInbox(const LetterBoxKey& key) {
    const auto point = FindDeliveryPoint(key);
    if (!point) {
        throw Exception("Invalid letter box key");
    }
    return point->GetInbox();
}
