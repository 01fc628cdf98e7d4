#include "database/tables/LetterDataTable.h"

#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/TextRemovalBatch.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

namespace {

// Removes the store files once the deletion of their rows is committed: a deletion that is rolled
// back brings its rows back, and they must still have their texts.
void RemoveTexts(std::vector<std::string> handles) {
    RunAfterCommit([handles = std::move(handles)] { RemoveDeletedTexts(handles); });
}

}  // namespace

std::int64_t LetterDataTable::CopyRow(std::int64_t sourceId) const {
    ExecuteStatement(
        Format("INSERT INTO %1% (collectionId, timeRetrieved, sender, recipient, subject, "
               "firstDispatchTime, dispatchCount, returnPath) SELECT collectionId, timeRetrieved, "
               "sender, recipient, subject, firstDispatchTime, dispatchCount, returnPath FROM %1% "
               "WHERE id = %2%;",
               TableName(), sourceId));
    return GetLastInsertId();
}

void LetterDataTable::Delete(std::int64_t id) const {
    std::string handle;
    {
        // One query tells both whether the row is there and which text it names.
        auto row =
            ExecuteQuery(Format("SELECT sourceHandle FROM %1% WHERE id = %2%;", TableName(), id));
        if (row.AtEnd()) {
            return;
        }
        handle = row.GetStringField("sourceHandle");
    }
    // Row first: should its deletion fail, the letter keeps its text.
    ObjectDataTable::Delete(id);
    RemoveTexts({handle});
}

void LetterDataTable::DeleteAll() const {
    throw Exception("Not implemented");
}

void LetterDataTable::DeleteWhere(const std::string& condition) const {
    std::vector<std::string> handles;
    for (auto row = ExecuteQuery(
             Format("SELECT sourceHandle FROM %1% WHERE %2%;", TableName(), condition));
         !row.AtEnd(); row.NextRow()) {
        handles.push_back(row.GetStringField("sourceHandle"));
    }
    ObjectDataTable::DeleteWhere(condition);
    RemoveTexts(handles);
}

}  // namespace DatabaseLayer
