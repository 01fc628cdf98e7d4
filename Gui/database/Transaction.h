#pragma once

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
