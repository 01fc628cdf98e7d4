#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "postoffice/CollectionOutcome.h"

// What the post office and its collection thread share: the state of the thread, the request
// for an immediate collection and the record of finished runs. Held by shared pointer by both,
// so that a collection thread that outlives a stop's deadline never reads freed memory.
// Every operation may be called from any thread.
class CollectionControl {
public:
    enum class State : std::int32_t {
        Starting = 0,
        Running = 1,
        StopRequested = 2,
        Idle = 3,
    };

    State GetState() const;
    void SetState(State value);
    // Takes the post office from idle to starting; false when a thread exists already.
    bool BeginStart();
    // Running or starting become stop requested; true unless the state was idle.
    bool RequestStop();
    // Starting becomes running (a stop requested meanwhile stays requested); called by the new
    // thread as its first act.
    void EnterRunning();
    // The thread's last act: the state becomes idle, unless the thread still runs and a
    // collection was asked for after its last run (then false: the thread must run once more,
    // as nobody else would answer the request).
    bool EndUnlessRequested();
    // Waits until `deadline`, or less when the state leaves running or a collection is asked for.
    void WaitForWork(std::chrono::steady_clock::time_point deadline) const;
    // Waits until the state is idle; false when `deadline` passed first.
    bool WaitUntilIdle(std::chrono::steady_clock::time_point deadline) const;

    // Asks for a collection at once. Returns the number of runs finished so far: the run that
    // answers the request is the first to finish after that number.
    std::uint64_t RequestCollection();
    bool IsCollectionRequested() const;
    // Records a finished run and clears the request: under one lock, so that a request is
    // either answered by this run or stays for the next one.
    void RecordRun(const CollectionOutcome& outcome);
    // Clears the request without a run (a run that a stop ended).
    void ClearRequest();
    // The outcome of run number `finishedBefore + 1` or a later one; empty when `deadline` passed
    // first or the thread became idle without running it.
    std::optional<CollectionOutcome> WaitForRunAfter(
        std::uint64_t finishedBefore, std::chrono::steady_clock::time_point deadline) const;
    std::uint64_t GetFinishedRunCount() const;
    // The last finished run, if any.
    std::optional<CollectionOutcome> GetLastRun() const;

private:
    mutable std::mutex mutex;
    // Signalled on every change of the state and every recorded run.
    mutable std::condition_variable changed;
    // Guarded by `mutex`.
    State state = State::Idle;
    bool collectionRequested = false;
    std::uint64_t finishedRuns = 0;
    std::optional<CollectionOutcome> lastRun;
};
