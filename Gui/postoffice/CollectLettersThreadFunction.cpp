#include "core/Exception.h"
#include "core/Format.h"
#include "core/ThreadData.h"
#include "core/TimeCard.h"
#include "core/TimeCardException.h"
#include "database/ThreadDatabase.h"
#include "dispatch/DispatchPoint.h"
#include "postoffice/HeldMailDigest.h"
#include "postoffice/PostOffice.h"
#include "postoffice/RunTally.h"

using DatabaseLayer::ExecuteScalar;

namespace {

bool IsStillAttached(const DatabaseLayer::MailDeliveryPointsData& points, std::int64_t id) {
    return ExecuteScalar(Format("SELECT COUNT (*) FROM %1% WHERE id = %2% AND collectionId = %3%;",
                                DatabaseLayer::MailDeliveryPointDataTable().TableName(), id,
                                points.GetId())) > 0;
}

// Does `work` on the point `id` while it is one of the collection's. An account removed while
// the run works is skipped, not an error of the run: removed before its turn (loading the row
// fails) or as its turn begins (its boxes are gone when the work opens them).
template <typename Work>
void ForPointIfStillAttached(const DatabaseLayer::MailDeliveryPointsData& points, std::int64_t id,
                             Work work) {
    try {
        MailDeliveryPoint point(id);
        work(point);
    } catch (const TimeCardException&) {
        throw;
    } catch (const Exception&) {
        if (IsStillAttached(points, id)) {
            throw;
        }
    }
}

}  // namespace

PostOffice::CollectLettersThreadFunction::CollectLettersThreadFunction(
    std::int64_t postOfficeIdIn, std::shared_ptr<CollectionControl> controlIn,
    std::shared_ptr<Clock> clockIn, std::shared_ptr<EventReporter> reporterIn)
    : control(std::move(controlIn)),
      reporter(std::move(reporterIn)),
      postOfficeId(postOfficeIdIn),
      clock(std::move(clockIn)) {}

void PostOffice::CollectLettersThreadFunction::operator()() {
    try {
        Run();
    } catch (...) {
        // Reported through ErrorOccurred by the run; a stop is no error.
    }
}

void PostOffice::CollectLettersThreadFunction::Run() {
    CollectionOutcome outcome;
    try {
        Collect(outcome);
    } catch (...) {
        RunEnded();
        control->RecordRun(outcome);
        throw;
    }
    RunEnded();
    control->RecordRun(outcome);
}

void PostOffice::CollectLettersThreadFunction::Collect(CollectionOutcome& outcome) {
    ThreadDataScope threadData;
    outcome.started = clock->Now();
    reporter->CollectingStarted();
    RunTally tally(*reporter);
    const auto finish = [&](const std::string& error) {
        if (!error.empty()) {
            reporter->ErrorOccurred(error);
        }
        tally.FillIn(outcome);
        outcome.error = error;
        outcome.succeeded = error.empty();
        outcome.finished = clock->Now();
        reporter->CollectingFinished();
    };
    try {
        CollectSteps(outcome);
    } catch (const Exception& error) {
        finish(error.what());
        throw;
    } catch (...) {
        finish("Unknown error occurred");
        throw;
    }
    finish("");
}

void PostOffice::CollectLettersThreadFunction::CollectSteps(CollectionOutcome&) {
    // Objects of this thread, over its own connection, read afresh for every run.
    DatabaseLayer::PostOfficeData office(postOfficeId);
    auto& points = office.GetDeliveryPoints();
    auto& trusted = office.GetTrustedSenderList();
    const auto dispatchPoint = office.GetDispatchPoint();

    // A failing account ends the run here: nothing is sorted or sent before every account has
    // been downloaded, and the next run starts again from the first.
    const auto ids = points.GetElementIds();
    for (const auto id : ids) {
        ForPointIfStillAttached(
            points, id, [&](MailDeliveryPoint& point) { point.DeliverMail(*clock, *reporter); });
    }
    reporter->ProcessingIncomingMail();
    for (const auto id : ids) {
        TimeCard::Check();
        ForPointIfStillAttached(points, id, [&](MailDeliveryPoint& point) {
            point.SortIncomingMail(*clock, trusted.GetSenderList(), trusted, *reporter);
        });
    }
    reporter->ProcessingFinished();
    trusted.DispatchVerificationRequests(*clock, dispatchPoint->GetLetterBox());
    dispatchPoint->DispatchLetters(*clock, points, *reporter);
    try {
        DeliverHeldMailDigests(*clock, points);
    } catch (const Exception& error) {
        // The mail is collected and sorted; a later run delivers the digest.
        reporter->CollectingWarning("The digest of held mail waits for a later run: " +
                                    error.GetDescription());
    }
}

PostOffice::CollectLettersRepeatedlyThreadFunction::CollectLettersRepeatedlyThreadFunction(
    std::int64_t postOfficeIdIn, std::shared_ptr<CollectionControl> controlIn,
    std::shared_ptr<Clock> clockIn, std::shared_ptr<EventReporter> reporterIn, int workIntervalIn,
    std::shared_ptr<TickClock> ticksIn)
    : CollectLettersThreadFunction(postOfficeIdIn, std::move(controlIn), std::move(clockIn),
                                   std::move(reporterIn)),
      workInterval(workIntervalIn),
      ticks(std::move(ticksIn)) {}

void PostOffice::CollectLettersRepeatedlyThreadFunction::Run() {
    reporter->ApplicationStarted();
    try {
        // Keeps the thread's connection between runs; each run opens its own use of it.
        ThreadDataScope threadData;
        Loop();
    } catch (const TimeCardException&) {
        reporter->ApplicationExited();
        throw;
    } catch (const Exception& error) {
        // Only the database can fail here (the runs report their own errors): without it the
        // thread cannot collect at all.
        reporter->ErrorOccurred(error.what());
        reporter->ApplicationExited();
        throw;
    } catch (...) {
        reporter->ApplicationExited();
        throw;
    }
    reporter->ApplicationExited();
}

void PostOffice::CollectLettersRepeatedlyThreadFunction::Loop() {
    using std::chrono::milliseconds;
    const auto interval = std::chrono::seconds(workInterval);
    CollectOnce();
    while (control->GetState() == State::Running) {
        if (ticks->Now() - lastEnd >= interval || control->IsCollectionRequested()) {
            CollectOnce();
        }
        // Woken early by a stop or a request for a collection.
        control->WaitForWork(std::chrono::steady_clock::now() + milliseconds(100));
    }
}

void PostOffice::CollectLettersRepeatedlyThreadFunction::RunEnded() {
    lastEnd = ticks->Now();
}

void PostOffice::CollectLettersRepeatedlyThreadFunction::CollectOnce() {
    try {
        CollectLettersThreadFunction::Run();
    } catch (const TimeCardException&) {
        throw;
    } catch (...) {
        // Reported through ErrorOccurred; the next run comes at the interval.
    }
}
