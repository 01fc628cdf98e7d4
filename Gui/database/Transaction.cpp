#include "database/Transaction.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/Exception.h"
#include "database/ThreadDatabase.h"
#include "platform/ThreadId.h"

namespace DatabaseLayer {

namespace {

constexpr std::int64_t kNobody = -1;

// The process-wide transaction: who owns it and how deeply it is nested. Read and written by
// every thread that writes, under `mutex`.
struct TransactionState {
    std::recursive_mutex mutex;
    int depth = 0;
    std::int64_t ownerThreadId = kNobody;
    // Work waiting for the outermost commit, each with the depth of the scope that asked.
    std::vector<std::pair<int, std::function<void()>>> afterCommit;
};

// Hands the write transaction to the threads that ask for it in the order they asked. SQLite's
// busy handler sleeps between tries, so a thread that commits and begins again at once would
// otherwise keep the lock for as long as it has work, and every other writer of the process
// would wait that long. Shared by every thread; guarded by its own mutex.
class WriterQueue {
public:
    void Enter() {
        std::unique_lock lock(mutex);
        const std::uint64_t ticket = nextTicket++;
        turn.wait(lock, [&] { return nowServing == ticket; });
    }
    void Leave() {
        {
            std::lock_guard lock(mutex);
            ++nowServing;
        }
        turn.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable turn;
    std::uint64_t nextTicket = 0;
    std::uint64_t nowServing = 0;
};

WriterQueue& Writers() {
    static WriterQueue queue;
    return queue;
}

TransactionState& State() {
    static TransactionState state;
    return state;
}

std::int64_t Me() {
    return static_cast<std::int64_t>(platform::CurrentThreadId());
}

// Savepoint of nesting level `depth` (2 for the first nested scope).
std::string SavepointName(int depth) {
    return "moxel_scope_" + std::to_string(depth);
}

}  // namespace

void BeginTransaction() {
    auto& state = State();
    {
        std::unique_lock lock(state.mutex);
        if (state.ownerThreadId == Me()) {
            const int depth = ++state.depth;
            lock.unlock();
            try {
                ExecuteStatement("SAVEPOINT " + SavepointName(depth) + ";");
            } catch (...) {
                std::lock_guard relock(state.mutex);
                --state.depth;
                throw;
            }
            return;
        }
    }
    Writers().Enter();
    try {
        // Blocks (busy timeout and retry) while another connection holds the write lock.
        ExecuteStatement("BEGIN IMMEDIATE TRANSACTION;");
    } catch (...) {
        Writers().Leave();
        throw;
    }
    std::lock_guard lock(state.mutex);
    state.ownerThreadId = Me();
    state.depth = 1;
}

void EndTransaction() {
    auto& state = State();
    std::unique_lock lock(state.mutex);
    if (state.ownerThreadId != Me() || state.depth < 1) {
        return;
    }
    if (state.depth > 1) {
        const int depth = state.depth--;
        // The kept scope's work now belongs to the scope around it.
        for (auto& pending : state.afterCommit) {
            if (pending.first == depth) {
                pending.first = depth - 1;
            }
        }
        lock.unlock();
        ExecuteStatement("RELEASE SAVEPOINT " + SavepointName(depth) + ";");
        return;
    }
    state.depth = 0;
    state.ownerThreadId = kNobody;
    auto afterCommit = std::move(state.afterCommit);
    state.afterCommit.clear();
    lock.unlock();
    {
        struct LeaveQueue {
            ~LeaveQueue() { Writers().Leave(); }
        } leave;
        try {
            ExecuteStatement("COMMIT TRANSACTION;");
        } catch (...) {
            // A transaction left open would block every later writer; undo it and report.
            try {
                ExecuteStatement("ROLLBACK TRANSACTION;");
            } catch (const Exception&) {
                // SQLite may already have rolled back on its own; the commit failure is reported.
            }
            throw;
        }
    }
    // Outside the writers' turn: the other writers need not wait for this.
    for (auto& pending : afterCommit) {
        try {
            pending.second();
        } catch (...) {
            // The commit stands whatever an action meets; each action reports its own trouble,
            // and the others must still run.
        }
    }
}

void AbandonTransaction() {
    auto& state = State();
    std::unique_lock lock(state.mutex);
    if (state.ownerThreadId != Me() || state.depth < 1) {
        return;
    }
    std::string statement;
    const bool outermost = state.depth == 1;
    if (state.depth > 1) {
        const int depth = state.depth--;
        std::erase_if(state.afterCommit,
                      [depth](const auto& pending) { return pending.first >= depth; });
        const std::string name = SavepointName(depth);
        statement = "ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name + ";";
    } else {
        state.depth = 0;
        state.ownerThreadId = kNobody;
        state.afterCommit.clear();
        statement = "ROLLBACK TRANSACTION;";
    }
    lock.unlock();
    try {
        ExecuteStatement(statement);
    } catch (const Exception&) {
        // SQLite rolls back by itself after some errors; the error that got us here is reported.
    }
    if (outermost) {
        Writers().Leave();
    }
}

void RunAfterCommit(std::function<void()> action) {
    auto& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (state.ownerThreadId == Me() && state.depth >= 1) {
            state.afterCommit.emplace_back(state.depth, std::move(action));
            return;
        }
    }
    action();
}

Transaction::Transaction() : exceptionsAtStart(std::uncaught_exceptions()) {
    BeginTransaction();
}

Transaction::~Transaction() noexcept(false) {
    if (std::uncaught_exceptions() > exceptionsAtStart) {
        AbandonTransaction();
    } else {
        EndTransaction();
    }
}

}  // namespace DatabaseLayer
