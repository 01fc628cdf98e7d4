#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "database/HeaderMap.h"
#include "database/LetterTypes.h"
#include "database/ObjectDataBase.h"
#include "database/tables/LetterDataTable.h"

namespace DatabaseLayer {

// One mail message: a row of "Letter" with its summary fields, and the full text in the letter
// store (HugeItemCollection). Getters read each field once and keep it; setters write through.
//
// Several objects may hold the same row (counted in LetterInstanceRegistry). Before a change, an
// object that shares its row detaches: it copies the row and the text and goes on with the copy,
// which starts not persistent, like every copy. A change through one object is therefore never
// seen through another. The row is deleted with its last holder when it was not kept.
//
// Used on one thread, over that thread's database connection; never shared between threads.
class LetterData : public ObjectDataBase<LetterDataTable> {
public:
    // A new, empty letter; not persistent.
    LetterData();
    // The existing letter `id`; persistent.
    explicit LetterData(std::int64_t id);
    // A new letter whose text is composed from these parts (ComposeLetterText) and stored at
    // once, summary fields included; not persistent. Throws like StoreText.
    LetterData(const std::string& sender, const std::string& recipient, const std::string& subject,
               const std::string& body, const std::string& returnPath);
    // A new row with the source's fields and a copy of its text in a new store file (no text
    // when the source has none); not persistent. All or nothing.
    LetterData(const LetterData& source);
    LetterData& operator=(const LetterData&) = delete;
    ~LetterData() override;

    void SetPersistent(bool value) override;

    std::int64_t GetCollectionId() const;
    void SetCollectionId(std::int64_t value);
    // The store handle of the text; empty when none was stored.
    std::string GetSourceHandle() const;
    // When the letter was downloaded; an empty field reads as 1977-01-01 00:00:00.
    boost::posix_time::ptime GetTimeRetrieved() const;
    void SetTimeRetrieved(const boost::posix_time::ptime& value);
    std::string GetRecipient() const;
    void SetRecipient(const std::string& value);
    std::string GetSender() const;
    void SetSender(const std::string& value);
    std::string GetSubject() const;
    void SetSubject(const std::string& value);
    // The "Return-Path" header as it stands ("<>" for bounces).
    std::string GetReturnPath() const;
    void SetReturnPath(const std::string& value);
    bool HasNullReturnPath() const;
    // When sending was first tried. Throws Exception "Internal error: No information about time
    // this letter was first tried to be dispatched" when never set.
    boost::posix_time::ptime GetFirstDispatchTime() const;
    void SetFirstDispatchTime(const boost::posix_time::ptime& value);
    std::int32_t GetDispatchCount() const;
    void SetDispatchCount(std::int32_t value);

    // Stores `text` byte for byte as the letter's text, creating its store file when it has
    // none. On failure (Exception "Error writing to file <path>", or the store's own error) the
    // old text and the database are left as they were.
    void SetText(const std::string& text);
    // The stored text without carriage returns; empty when the letter has no (existing) file.
    std::string GetText() const;
    // Stores a downloaded or composed message: the text (SetText), then in one transaction the
    // summary fields from its header block: recipient and sender (addresses of "To" and "From"),
    // subject and return path (as they stand).
    void StoreText(const std::string& text);
    // The same in steps, for a text that arrives in pieces: empty the pending text, append the
    // pieces, then store it as StoreText does (the pending text is emptied afterwards).
    void ClearPendingText();
    void AppendPendingText(std::string_view piece);
    void StorePendingText();
    // StorePendingText in two steps, for letters whose texts are synced together: the pending
    // text goes to a new store file that is not synced yet and that no row names (its handle is
    // returned); once the caller has synced it (HugeItemCollection::SyncNewTexts), NameStoredText
    // makes it this letter's text and sets the summary fields, as StorePendingText does.
    std::string WritePendingTextUnsynced() const;
    std::size_t PendingTextSize() const { return pendingText.size(); }
    void NameStoredText(const std::string& handle);
    // The header block, "\n\n" and the first `lines` lines of the body (TopOfText).
    std::string GetTop(int lines) const;
    // The length of GetText() in bytes.
    std::size_t GetSize() const;

    // Reads the row's fields that only this object writes, all in one query, into the cache;
    // those cached already keep their values. False when the row does not exist (the fields
    // then read as empty texts).
    bool ReadRow() const;

private:
    struct CopiedRow {
        std::int64_t id;
        std::string handle;
    };
    LetterData(const LetterData& source, const CopiedRow& copied);
    // Copies the source's row and text in one transaction; throws leaving nothing behind.
    static CopiedRow CopyRowAndText(const LetterData& source);

    const std::string& Field(const std::string& name) const;
    // Writes a field and its cache entry (no copy on write; callers do that first).
    void WriteField(const std::string& name, const std::string& value, bool quoted);
    // Detaches from the other objects holding this row, if there are any.
    void CopyOnWrite();
    // The summary fields from the header block.
    void WriteSummary(const HeaderMap& headers);

    std::string pendingText;
};

}  // namespace DatabaseLayer
