#include "database/LetterData.h"

#include <algorithm>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/ExtractAddress.h"
#include "database/HugeItemCollection.h"
#include "database/LetterInstanceRegistry.h"
#include "database/MessageText.h"
#include "database/StoredTime.h"
#include "database/TextNumbers.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

namespace {

// The fields a letter's getters read, which only the letter's own object writes: a letter's
// getters are often called one after another, and one query for them all costs what one query
// for each did. The box a letter is in is not among them, since whole boxes are moved at once.
constexpr const char* kRowFields[] = {
    "sourceHandle", "timeRetrieved", "recipient",         "sender",
    "subject",      "returnPath",    "firstDispatchTime", "dispatchCount"};

void RemoveQuietly(HugeItemCollection& store, const std::string& handle) {
    try {
        store.RemoveItem(handle);
    } catch (const Exception&) {
        // Called while an earlier failure is on its way; that one is what the caller must see,
        // and the leftover file loses nothing.
    }
}

}  // namespace

LetterData::LetterData() {
    LetterInstanceRegistry::Enter(id);
}

LetterData::LetterData(std::int64_t existingId) : ObjectDataBase(existingId) {
    LetterInstanceRegistry::Enter(id);
}

LetterData::LetterData(const std::string& sender, const std::string& recipient,
                       const std::string& subject, const std::string& body,
                       const std::string& returnPath)
    : LetterData() {
    // Should this throw, the destructor runs (the delegated constructor has finished) and
    // deletes the new row with any text it got.
    StoreText(ComposeLetterText(sender, recipient, subject, body, returnPath));
}

LetterData::LetterData(const LetterData& source) : LetterData(source, CopyRowAndText(source)) {}

LetterData::LetterData(const LetterData& source, const CopiedRow& copied)
    : ObjectDataBase(AdoptRow{}, copied.id) {
    fieldCache = source.fieldCache;
    fieldCache["sourceHandle"] = copied.handle;
    LetterInstanceRegistry::Enter(id);
}

LetterData::~LetterData() {
    // The base deletes the row of an object that is not persistent; only the last holder may.
    persistent = !LetterInstanceRegistry::Leave(id, persistent);
}

LetterData::CopiedRow LetterData::CopyRowAndText(const LetterData& source) {
    CopiedRow copied{-1, ""};
    std::shared_ptr<HugeItemCollection> store;
    try {
        Transaction transaction;
        copied.id = source.table.CopyRow(source.id);
        const std::string handle = source.GetSourceHandle();
        if (!handle.empty()) {
            store = HugeItemCollection::Instance();
            if (store->IsValidHandle(handle)) {
                copied.handle = store->CopyItem(handle);
            }
        }
        source.table.SetField(copied.id, "sourceHandle", copied.handle, true);
    } catch (...) {
        // The row went with the transaction; the text copy must go too.
        if (!copied.handle.empty()) {
            RemoveQuietly(*store, copied.handle);
        }
        throw;
    }
    return copied;
}

void LetterData::SetPersistent(bool value) {
    persistent = value;
    if (value) {
        LetterInstanceRegistry::Keep(id);
    }
}

const std::string& LetterData::Field(const std::string& name) const {
    auto found = fieldCache.find(name);
    if (found != fieldCache.end()) {
        return found->second;
    }
    if (std::find(std::begin(kRowFields), std::end(kRowFields), name) != std::end(kRowFields)) {
        ReadRow();
        found = fieldCache.find(name);
    }
    if (found == fieldCache.end()) {
        found = fieldCache.emplace(name, table.GetField(id, name)).first;
    }
    return found->second;
}

bool LetterData::ReadRow() const {
    // The id as a parameter: one text, prepared once per connection, for every letter.
    const std::int64_t parameters[] = {id};
    auto row = ExecuteQuery(
        Format("SELECT sourceHandle, timeRetrieved, recipient, sender, subject, returnPath, "
               "firstDispatchTime, dispatchCount FROM %1% WHERE id = ?1;",
               table.TableName()),
        parameters);
    for (const char* field : kRowFields) {
        // A NULL field, and an id without a row, read as the empty text, as field by field.
        fieldCache.emplace(field, row.AtEnd() ? std::string() : row.GetStringField(field));
    }
    return !row.AtEnd();
}

void LetterData::WriteField(const std::string& name, const std::string& value, bool quoted) {
    table.SetField(id, name, value, quoted);
    fieldCache[name] = value;
}

void LetterData::CopyOnWrite() {
    if (LetterInstanceRegistry::Count(id) < 2) {
        return;
    }
    const CopiedRow copied = CopyRowAndText(*this);
    const std::int64_t oldId = id;
    const bool keptOld = persistent;
    LetterInstanceRegistry::Enter(copied.id);
    id = copied.id;
    persistent = false;
    fieldCache["sourceHandle"] = copied.handle;
    // Leaving the old row works like destroying its object: when the other holders went away
    // meanwhile and nobody kept the row, it goes now.
    if (LetterInstanceRegistry::Leave(oldId, keptOld)) {
        table.Delete(oldId);
    }
}

std::int64_t LetterData::GetCollectionId() const {
    return ParseInt64(Field("collectionId"));
}

void LetterData::SetCollectionId(std::int64_t value) {
    CopyOnWrite();
    WriteField("collectionId", std::to_string(value), false);
}

std::string LetterData::GetSourceHandle() const {
    return Field("sourceHandle");
}

boost::posix_time::ptime LetterData::GetTimeRetrieved() const {
    return TimeFromSecondsText(Field("timeRetrieved"));
}

void LetterData::SetTimeRetrieved(const boost::posix_time::ptime& value) {
    CopyOnWrite();
    WriteField("timeRetrieved", SecondsTextFromTime(value), true);
}

std::string LetterData::GetRecipient() const {
    return Field("recipient");
}

void LetterData::SetRecipient(const std::string& value) {
    CopyOnWrite();
    WriteField("recipient", value, true);
}

std::string LetterData::GetSender() const {
    return Field("sender");
}

void LetterData::SetSender(const std::string& value) {
    CopyOnWrite();
    WriteField("sender", value, true);
}

std::string LetterData::GetSubject() const {
    return Field("subject");
}

void LetterData::SetSubject(const std::string& value) {
    CopyOnWrite();
    WriteField("subject", value, true);
}

std::string LetterData::GetReturnPath() const {
    return Field("returnPath");
}

void LetterData::SetReturnPath(const std::string& value) {
    CopyOnWrite();
    WriteField("returnPath", value, true);
}

bool LetterData::HasNullReturnPath() const {
    return GetReturnPath() == "<>";
}

boost::posix_time::ptime LetterData::GetFirstDispatchTime() const {
    const std::string& text = Field("firstDispatchTime");
    if (text.empty()) {
        throw Exception(
            "Internal error: No information about time this letter was first tried to be "
            "dispatched");
    }
    return TimeFromSecondsText(text);
}

void LetterData::SetFirstDispatchTime(const boost::posix_time::ptime& value) {
    CopyOnWrite();
    WriteField("firstDispatchTime", SecondsTextFromTime(value), true);
}

std::int32_t LetterData::GetDispatchCount() const {
    return ParseInt32(Field("dispatchCount"));
}

void LetterData::SetDispatchCount(std::int32_t value) {
    CopyOnWrite();
    WriteField("dispatchCount", std::to_string(value), false);
}

void LetterData::SetText(const std::string& text) {
    CopyOnWrite();
    const auto store = HugeItemCollection::Instance();
    const std::string handle = GetSourceHandle();
    if (store->IsValidHandle(handle)) {
        store->WriteItem(handle, text);
        return;
    }
    // The handle reaches the row only once the text is whole in its file.
    const std::string created = store->CreateItemWithText(text);
    try {
        WriteField("sourceHandle", created, true);
    } catch (...) {
        RemoveQuietly(*store, created);
        throw;
    }
}

std::string LetterData::GetText() const {
    const std::string handle = GetSourceHandle();
    if (handle.empty()) {
        return {};
    }
    const auto store = HugeItemCollection::Instance();
    if (!store->IsValidHandle(handle)) {
        return {};
    }
    // In place: the text is not copied a second time.
    std::string text = store->ReadItem(handle);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

void LetterData::StoreText(const std::string& text) {
    pendingText = text;
    StorePendingText();
}

void LetterData::ClearPendingText() {
    pendingText.clear();
}

void LetterData::AppendPendingText(std::string_view piece) {
    pendingText.append(piece);
}

void LetterData::StorePendingText() {
    CopyOnWrite();
    const HeaderMap headers =
        ParseHeaders(RemoveCarriageReturns(ReceivedHeaderBlockOf(pendingText)));
    {
        // One commit for the text's handle and the summary fields.
        Transaction transaction;
        SetText(pendingText);
        WriteSummary(headers);
    }
    pendingText.clear();
}

std::string LetterData::WritePendingTextUnsynced() const {
    return HugeItemCollection::Instance()->CreateItemWithTextUnsynced(pendingText);
}

void LetterData::NameStoredText(const std::string& handle) {
    CopyOnWrite();
    const HeaderMap headers =
        ParseHeaders(RemoveCarriageReturns(ReceivedHeaderBlockOf(pendingText)));
    {
        Transaction transaction;
        WriteField("sourceHandle", handle, true);
        WriteSummary(headers);
    }
    pendingText.clear();
}

void LetterData::WriteSummary(const HeaderMap& headers) {
    WriteField("recipient", ExtractAddress(HeaderValue(headers, "To")), true);
    WriteField("sender", ExtractAddress(HeaderValue(headers, "From")), true);
    WriteField("subject", HeaderValue(headers, "Subject"), true);
    WriteField("returnPath", HeaderValue(headers, "Return-Path"), true);
}

std::string LetterData::GetTop(int lines) const {
    return TopOfText(GetText(), lines);
}

std::size_t LetterData::GetSize() const {
    // GetText's length, counted while reading: sizing a whole inbox must not copy every text.
    const std::string handle = GetSourceHandle();
    if (handle.empty()) {
        return 0;
    }
    const auto store = HugeItemCollection::Instance();
    if (!store->IsValidHandle(handle)) {
        return 0;
    }
    std::size_t size = 0;
    store->ReadItemInPieces(handle, [&size](std::string_view piece) {
        size +=
            piece.size() - static_cast<std::size_t>(std::count(piece.begin(), piece.end(), '\r'));
    });
    return size;
}

}  // namespace DatabaseLayer
