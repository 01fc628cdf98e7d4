#pragma once

#include <mutex>
#include <vector>

#include "core/EventReporter.h"
#include "core/MoxelCoreEventHandler.h"
#include "postoffice/CollectionOutcome.h"

// Counts the letters of one collection run from the events the run raises on its own thread,
// so that the run's outcome can say what it did without the delivery points and the dispatch
// point reporting counts of their own. Registers itself with the reporter for its lifetime.
// Built and destroyed on the collection thread; the reporter calls it on that thread only.
class RunTally : public MoxelCoreEventHandler {
public:
    explicit RunTally(EventReporter& reporter);
    ~RunTally();
    RunTally(const RunTally&) = delete;
    RunTally& operator=(const RunTally&) = delete;

    std::vector<ThreadId> GetThreadFilter(const ThreadId& thread) override;
    void LettersRetrieved(const ThreadId& thread, const LetterBoxPtr& letters) override;
    void ApprovedLettersAdded(const ThreadId& thread, int count) override;
    void MessagesSent(const ThreadId& thread, int count) override;

    // Copies the counts into `outcome`.
    void FillIn(CollectionOutcome& outcome) const;

private:
    EventReporter& reporter;
    const ThreadId ownThread;
    // Guarded by `mutex` (the reporter may, in principle, call from another thread).
    mutable std::mutex mutex;
    int retrieved = 0;
    int approved = 0;
    int sent = 0;
};
