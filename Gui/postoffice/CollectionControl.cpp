#include "postoffice/CollectionControl.h"

CollectionControl::State CollectionControl::GetState() const {
    std::lock_guard lock(mutex);
    return state;
}

void CollectionControl::SetState(State value) {
    {
        std::lock_guard lock(mutex);
        state = value;
    }
    changed.notify_all();
}

bool CollectionControl::BeginStart() {
    std::lock_guard lock(mutex);
    if (state != State::Idle) {
        return false;
    }
    state = State::Starting;
    return true;
}

bool CollectionControl::RequestStop() {
    {
        std::lock_guard lock(mutex);
        if (state == State::Idle) {
            return false;
        }
        state = State::StopRequested;
    }
    changed.notify_all();
    return true;
}

void CollectionControl::EnterRunning() {
    {
        std::lock_guard lock(mutex);
        if (state == State::Starting) {
            state = State::Running;
        }
    }
    changed.notify_all();
}

bool CollectionControl::EndUnlessRequested() {
    {
        std::lock_guard lock(mutex);
        if (state == State::Running && collectionRequested) {
            return false;
        }
        state = State::Idle;
    }
    changed.notify_all();
    return true;
}

void CollectionControl::WaitForWork(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex);
    changed.wait_until(lock, deadline,
                       [this] { return state != State::Running || collectionRequested; });
}

bool CollectionControl::WaitUntilIdle(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex);
    return changed.wait_until(lock, deadline, [this] { return state == State::Idle; });
}

std::uint64_t CollectionControl::RequestCollection() {
    std::uint64_t finished = 0;
    {
        std::lock_guard lock(mutex);
        collectionRequested = true;
        finished = finishedRuns;
    }
    changed.notify_all();
    return finished;
}

bool CollectionControl::IsCollectionRequested() const {
    std::lock_guard lock(mutex);
    return collectionRequested;
}

void CollectionControl::RecordRun(const CollectionOutcome& outcome) {
    {
        std::lock_guard lock(mutex);
        collectionRequested = false;
        ++finishedRuns;
        lastRun = outcome;
    }
    changed.notify_all();
}

void CollectionControl::ClearRequest() {
    std::lock_guard lock(mutex);
    collectionRequested = false;
}

std::optional<CollectionOutcome> CollectionControl::WaitForRunAfter(
    std::uint64_t finishedBefore, std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex);
    const bool finished = changed.wait_until(
        lock, deadline, [&] { return finishedRuns > finishedBefore || state == State::Idle; });
    if (!finished || finishedRuns <= finishedBefore) {
        return std::nullopt;
    }
    return lastRun;
}

std::optional<CollectionOutcome> CollectionControl::GetLastRun() const {
    std::lock_guard lock(mutex);
    return lastRun;
}

std::uint64_t CollectionControl::GetFinishedRunCount() const {
    std::lock_guard lock(mutex);
    return finishedRuns;
}
