#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "core/Clock.h"
#include "core/EventReporter.h"
#include "core/TickClock.h"
#include "database/LetterBoxKey.h"
#include "database/LetterTypes.h"
#include "database/SenderList.h"
#include "postoffice/CollectionControl.h"
#include "postoffice/CollectionOutcome.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/PostOfficeData.h"

class DispatchPoint;

// The hub of mail collection: owns the protected accounts (delivery points), the trusted sender
// list and the dispatch point, and runs the collection on a thread of its own. A run downloads
// every account, sorts every account, turns the queued verification requests into letters and
// sends the outgoing letters. The repeated collection runs at the work interval, measured from
// the end of the previous run, and at once when asked; only a stop ends it, never a failed run.
//
// The application thread owns the object and calls StartCollecting, CollectNow, Stop and the
// accessors; the collection thread builds objects of its own from the rows; the local POP3
// session threads call FindDeliveryPoint and GetInbox (over objects built for the call).
class PostOffice {
public:
    using State = CollectionControl::State;

    // How long Stop and the destructor wait for the collection thread. A stop takes effect at the
    // next stop check (a 256-byte block of a download at most); only a peer that does not answer
    // holds it up to the connection's time-out.
    static constexpr std::chrono::seconds kStopTimeout{60};

    // A new post office sending through `dispatchPoint`, with no accounts; not persistent until
    // SetPersistent(true).
    explicit PostOffice(std::shared_ptr<DispatchPoint> dispatchPoint);
    // The existing post office `id`. Throws Exception when the row is gone.
    explicit PostOffice(std::int64_t id);
    // Waits for the collection thread (see kStopTimeout) after asking it to stop, without
    // ending the work of other threads (the TimeCard is left as it is).
    virtual ~PostOffice();
    PostOffice(const PostOffice&) = delete;
    PostOffice& operator=(const PostOffice&) = delete;

    std::int64_t GetId() const { return data.GetId(); }
    void SetPersistent(bool value) { data.SetPersistent(value); }

    // Starts the repeated collection thread: one run at once, then one each `workInterval`
    // seconds after the end of the previous run. Punches the TimeCard in. Throws Exception
    // "PostOffice CollectLettersOnce thread is already running." while a thread exists.
    void StartCollecting(int workInterval);
    // Asks for a collection at once: the repeated thread starts a run within 100 ms (a run in
    // progress answers the request). Without a collection thread, a thread of its own makes one
    // complete run (punching the TimeCard in).
    void CollectNow();
    // CollectNow, then waits for the run that answers it and returns its outcome; empty when
    // `timeout` passed first or the collection stopped without making the run.
    std::optional<CollectionOutcome> CollectNowAndWait(std::chrono::milliseconds timeout);
    // Punches the TimeCard out and waits for the collection thread to end; true when it ended
    // within `timeout` (then the state is idle).
    bool Stop(std::chrono::milliseconds timeout = kStopTimeout);

    State GetState() const { return control->GetState(); }
    // The last finished run of this post office, if any.
    std::optional<CollectionOutcome> GetLastRun() const { return control->GetLastRun(); }
    // The number of runs finished since the post office was made.
    std::uint64_t GetFinishedRunCount() const { return control->GetFinishedRunCount(); }

    DatabaseLayer::MailDeliveryPointsData& GetDeliveryPoints() { return data.GetDeliveryPoints(); }
    TrustedSenderList& GetTrustedSenderList() { return data.GetTrustedSenderList(); }
    SenderList& GetApprovedSenders() { return data.GetTrustedSenderList().GetSenderList(); }
    std::shared_ptr<DispatchPoint> GetDispatchPoint() const { return data.GetDispatchPoint(); }
    std::shared_ptr<Clock> GetClock() const { return clock; }
    // Replaces the clock of later runs (tests use a fixed one).
    void SetClock(std::shared_ptr<Clock> value) { clock = std::move(value); }
    // Replaces the measure of the work interval of threads started later (tests).
    void SetTickClock(std::shared_ptr<TickClock> value) { ticks = std::move(value); }
    std::shared_ptr<EventReporter> GetEventReporter() const { return eventReporter; }
    // Takes the reporter the application's handlers are registered with; for threads started
    // later.
    void SetEventReporter(std::shared_ptr<EventReporter> reporter);

    // Files `point` under `key` (after the attach hook); false when the key is in use.
    bool AttachDeliveryPoint(const LetterBoxKey& key, MailDeliveryPoint& point);
    // The point filed under `key`, or null.
    MailDeliveryPointPtr FindDeliveryPoint(const LetterBoxKey& key);
    // The inbox of the point filed under `key`. Throws Exception "Invalid letter box key" when
    // there is none.
    LetterBoxPtr GetInbox(const LetterBoxKey& key);

    // One collection run. Copied into the thread; refers to the post office's row by id and
    // builds its own objects from it on the collection thread, and shares only the control, the
    // clock and the reporter with the post office.
    class CollectLettersThreadFunction {
    public:
        CollectLettersThreadFunction(std::int64_t postOfficeId,
                                     std::shared_ptr<CollectionControl> control,
                                     std::shared_ptr<Clock> clock,
                                     std::shared_ptr<EventReporter> reporter);
        virtual ~CollectLettersThreadFunction() = default;

        // Runs once and records the outcome with the control. Every error is reported through
        // ErrorOccurred and passed on; a stop passes on as TimeCardException.
        virtual void Run();
        // Run, dropping whatever leaves it: the events have told everything.
        virtual void operator()();

    protected:
        // Called at the end of every run, before the run is recorded (so before anyone waiting
        // for the run learns of its end). Does nothing.
        virtual void RunEnded() {}

        std::shared_ptr<CollectionControl> control;
        std::shared_ptr<EventReporter> reporter;

    private:
        // The eight steps of a run; fills in `outcome` as far as it got.
        void Collect(CollectionOutcome& outcome);
        void CollectSteps(CollectionOutcome& outcome);

        std::int64_t postOfficeId;
        std::shared_ptr<Clock> clock;
    };

    // Runs at the work interval until stopped; a failed run never ends it, a stop always does.
    class CollectLettersRepeatedlyThreadFunction : public CollectLettersThreadFunction {
    public:
        CollectLettersRepeatedlyThreadFunction(std::int64_t postOfficeId,
                                               std::shared_ptr<CollectionControl> control,
                                               std::shared_ptr<Clock> clock,
                                               std::shared_ptr<EventReporter> reporter,
                                               int workInterval, std::shared_ptr<TickClock> ticks);
        void Run() override;

    protected:
        // Takes the end of the run, from which the work interval counts.
        void RunEnded() override;

    private:
        void Loop();
        // One run; a stop passes on, every other error stays here (it has been reported).
        void CollectOnce();

        int workInterval;
        std::shared_ptr<TickClock> ticks;
        // Collection thread only.
        std::chrono::steady_clock::time_point lastEnd;
    };

protected:
    // Called with the key and the point just before the point is attached. Does nothing.
    virtual void OnAttachDeliveryPoint(const LetterBoxKey& key, MailDeliveryPoint& point);

private:
    // Starts a collection thread running `function`; the state must be starting. Throws
    // Exception when no thread can be made (the state is idle again then).
    template <typename Function>
    void StartThread(Function function);
    // Joins the thread object of an ended thread, if any.
    void JoinEndedThread();
    // Waits for the thread to end; on time-out reports the fact and lets the thread go.
    bool WaitForThread(std::chrono::milliseconds timeout);

    DatabaseLayer::PostOfficeData data;
    // Shared with the collection thread, which may outlive a stop that timed out.
    std::shared_ptr<CollectionControl> control = std::make_shared<CollectionControl>();
    std::shared_ptr<Clock> clock;
    std::shared_ptr<TickClock> ticks = std::make_shared<TickClock>();
    std::shared_ptr<EventReporter> eventReporter = std::make_shared<EventReporter>();
    // Owned by the application thread: the current or last collection thread.
    std::thread thread;
};
