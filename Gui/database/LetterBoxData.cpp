#include "database/LetterBoxData.h"

#include <algorithm>
#include <cstdint>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterBoxHolders.h"
#include "database/StoredTime.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "platform/ThreadId.h"

namespace DatabaseLayer {

namespace {

constexpr std::int64_t kNoThread = -1;

std::int64_t CallingThread() {
    return static_cast<std::int64_t>(platform::CurrentThreadId());
}

struct OpenState {
    std::int64_t count;
    std::int64_t thread;
};

// Reads the box's open state; a box without a row is an internal error. Opens that no thread of
// this process holds any more (a close that failed) are left out, so that the box is free again.
OpenState ReadOpenState(const LetterBoxDataTable& table, std::int64_t id) {
    auto row = ExecuteQuery(Format("SELECT openCount, openingThreadId FROM %1% WHERE id = %2%;",
                                   table.TableName(), id));
    if (row.AtEnd()) {
        throw Exception(Format("Internal error in LetterBox: letter box %1% does not exist", id));
    }
    OpenState state{row.GetInt64Field("openCount"), row.GetInt64Field("openingThreadId")};
    if (state.count > 0) {
        state.count = std::min(state.count, LetterBoxHolders::OpensHeld(id, state.thread));
    }
    if (state.count <= 0) {
        state = {0, kNoThread};
    }
    return state;
}

void WriteOpenState(const LetterBoxDataTable& table, std::int64_t id, const OpenState& state) {
    ExecuteStatement(Format("UPDATE %1% SET openCount = %2%, openingThreadId = %3% WHERE id = %4%;",
                            table.TableName(), state.count, state.thread, id));
}

Letter& Require(const LetterPtr& letter) {
    if (!letter) {
        throw Exception("Internal error in LetterBox: no letter given");
    }
    return *letter;
}

}  // namespace

bool LetterBoxData::Open() {
    const std::int64_t me = CallingThread();
    bool registered = false;
    try {
        Transaction transaction;
        OpenState state = ReadOpenState(table, id);
        if (state.count > 0 && state.thread != me) {
            return false;
        }
        if (state.count <= 0) {
            state = {0, me};
        }
        ++state.count;
        WriteOpenState(table, id, state);
        // Known as held before the commit: a thread that reads the committed state right after
        // must not take it for a stale one. Running ahead of the database is harmless.
        LetterBoxHolders::AddOpen(id, me);
        registered = true;
    } catch (...) {
        if (registered) {
            LetterBoxHolders::RemoveOpen(id, me);
        }
        throw;
    }
    return true;
}

bool LetterBoxData::IsOpen() const {
    Transaction transaction;
    const OpenState state = ReadOpenState(table, id);
    return state.count > 0 && state.thread == CallingThread();
}

void LetterBoxData::Close() {
    {
        Transaction transaction;
        OpenState state = ReadOpenState(table, id);
        if (state.count <= 0 || state.thread != CallingThread()) {
            throw Exception("LetterBox not open");
        }
        --state.count;
        if (state.count == 0) {
            state.thread = kNoThread;
        }
        WriteOpenState(table, id, state);
    }
    // Only once the close is committed: a close that fails is given up through ForgetOpen,
    // which must not count it a second time.
    LetterBoxHolders::RemoveOpen(id, CallingThread());
}

void LetterBoxData::ForgetOpen() {
    LetterBoxHolders::RemoveOpen(id, CallingThread());
}

void LetterBoxData::RequireOpen() const {
    if (!IsOpen()) {
        throw Exception("LetterBox not open");
    }
}

void LetterBoxData::AddLetter(const Letter& letter) {
    RequireOpen();
    Transaction transaction;
    Letter copy(letter);
    copy.SetCollectionId(id);
    copy.SetPersistent(true);
}

void LetterBoxData::AddLetter(const LetterPtr& letter) {
    AddLetter(Require(letter));
}

void LetterBoxData::MoveLetterHere(Letter& letter) {
    RequireOpen();
    letter.SetCollectionId(id);
    letter.SetPersistent(true);
}

void LetterBoxData::MoveLetterHere(const LetterPtr& letter) {
    MoveLetterHere(Require(letter));
}

void LetterBoxData::RemoveLetter(std::int64_t letterId) {
    RequireOpen();
    Letter letter(letterId);
    letter.SetPersistent(false);
}

LetterPtr LetterBoxData::GetLetter(std::int64_t letterId) const {
    RequireOpen();
    // Whether the row is there and what it holds, in one query: the getters a caller uses next
    // find the fields read already.
    auto letter = std::make_shared<Letter>(letterId);
    return letter->ReadRow() ? letter : nullptr;
}

std::vector<std::int64_t> LetterBoxData::GetLetterIds() const {
    RequireOpen();
    return GetElementIds();
}

int LetterBoxData::GetLetterCount() const {
    RequireOpen();
    return GetElementCount();
}

void LetterBoxData::MoveAllLettersTo(const LetterBoxData& other) {
    RequireOpen();
    ExecuteStatement(Format("UPDATE %1% SET collectionId = %2% WHERE collectionId = %3%;",
                            LetterDataTable().TableName(), other.GetId(), id));
}

void LetterBoxData::PruneLettersOlderThan(const boost::posix_time::ptime& now,
                                          const boost::posix_time::time_duration& maxAge) {
    RequireOpen();
    // Compared as numbers, as the times are read: compared as texts, "99" would count as later
    // than "100".
    LetterDataTable().DeleteWhere(
        Format("collectionId = %1% AND CAST(timeRetrieved AS INTEGER) < %2%", id,
               SecondsTextFromTime(now - maxAge)));
}

}  // namespace DatabaseLayer
