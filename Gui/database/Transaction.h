#pragma once

#include <functional>

namespace DatabaseLayer {

// One write transaction for the whole process. The first BeginTransaction of a thread runs
// "BEGIN IMMEDIATE TRANSACTION;" (waiting while another thread's transaction holds the write
// lock); further begins on the owning thread nest as savepoints. The outermost successful end
// runs "COMMIT TRANSACTION;". Any thread may call these; only the owner nests.

void BeginTransaction();
// Ends the innermost scope of the calling thread, keeping its work. When the final commit fails
// the whole transaction is rolled back and the failure thrown as Exception.
void EndTransaction();
// Ends the innermost scope of the calling thread, undoing its work (savepoint or whole
// transaction). Never throws: it runs while another error is already on its way.
void AbandonTransaction();

// Runs `action` once the calling thread's work is durable: at once when the thread has no
// transaction open, else right after its outermost commit. When the scope that asked (or any
// scope around it) is undone, or the commit fails, the action is dropped. For work outside the
// database that must not happen unless the rows that ask for it are gone for good, such as
// removing a deleted letter's text file. The action must not throw.
void RunAfterCommit(std::function<void()> action);

// Scope guard around a multi-statement change: all or nothing. Left normally, the scope ends
// with EndTransaction (and may throw its failure); left by an exception, with AbandonTransaction.
class Transaction {
public:
    Transaction();
    ~Transaction() noexcept(false);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    int exceptionsAtStart;
};

}  // namespace DatabaseLayer
