#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <vector>

#include "database/LetterData.h"
#include "database/LetterTypes.h"
#include "database/ObjectDataCollection.h"
#include "database/tables/LetterBoxDataTable.h"

namespace DatabaseLayer {

// A letter box: a row of "LetterCollection" whose letters carry its id in their collectionId.
// Opening a box is the lock between threads: the open count and the opening thread live in the
// row, changed only inside a transaction, so they hold across the threads' own connections. A
// thread may open a box it holds again (opens nest); another thread cannot open it until it is
// closed as often as it was opened. Every operation but construction, Open, IsOpen and Close
// needs the box open by the calling thread, else it throws Exception "LetterBox not open".
//
// The object is used on one thread; other threads work on the same box through objects of
// their own.
class LetterBoxData : public ObjectDataCollectionEx<LetterBoxDataTable, Letter> {
public:
    // A new, empty box (not persistent) or the existing box `id` (persistent). Destroying a box
    // that is not persistent deletes its letters with their texts.
    using ObjectDataCollectionEx::ObjectDataCollectionEx;
    LetterBoxData(const LetterBoxData&) = delete;
    LetterBoxData& operator=(const LetterBoxData&) = delete;

    // Opens the box for the calling thread; returns false when another thread has it open.
    // Throws Exception when the box's row does not exist.
    bool Open();
    // Whether the calling thread has the box open.
    bool IsOpen() const;
    // Undoes one Open of the calling thread; the last one frees the box. Throws "LetterBox not
    // open" when the calling thread does not have it open.
    void Close();
    // Gives up one open of the calling thread without writing it, for a Close that failed: the
    // stored open state no longer counts, so the next Open by any thread finds the box free
    // (when no other open holds it).
    void ForgetOpen();

    // Puts a copy of the letter (row and text) into this box and keeps the copy; the letter
    // itself is unchanged.
    void AddLetter(const Letter& letter);
    void AddLetter(const LetterPtr& letter);
    // Moves the letter itself into this box and makes it persistent.
    void MoveLetterHere(Letter& letter);
    void MoveLetterHere(const LetterPtr& letter);
    // Drops the letter `id`: its row and text are deleted as soon as no other object holds it.
    void RemoveLetter(std::int64_t id);
    // The letter `id`, or null when there is no such row.
    LetterPtr GetLetter(std::int64_t id) const;
    // The ids of this box's letters, in the order the database returns them.
    std::vector<std::int64_t> GetLetterIds() const;
    int GetLetterCount() const;
    // Moves every letter of this box into `other` (only this box needs to be open).
    void MoveAllLettersTo(const LetterBoxData& other);
    // Deletes, with their texts, this box's letters retrieved before `now` minus `maxAge`; a
    // letter retrieved exactly at that second stays.
    void PruneLettersOlderThan(const boost::posix_time::ptime& now,
                               const boost::posix_time::time_duration& maxAge);

private:
    void RequireOpen() const;
};

}  // namespace DatabaseLayer
