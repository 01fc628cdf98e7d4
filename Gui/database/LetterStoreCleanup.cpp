#include "database/LetterStoreCleanup.h"

#include <set>
#include <string>

#include "database/ThreadDatabase.h"
#include "database/tables/LetterDataTable.h"

namespace DatabaseLayer {

HugeItemCollection::Leftovers CleanLetterStore() {
    // A letter is put into a box once it is whole; a row in no box is a download or a letter
    // in the making that a crash cut short, and nobody will ever look for it.
    LetterDataTable().DeleteWhere("collectionId = -1");
    std::set<std::string> named;
    bool anyLetter = false;
    for (auto row = ExecuteQuery("SELECT sourceHandle FROM Letter;"); !row.AtEnd(); row.NextRow()) {
        anyLetter = true;
        named.insert(row.GetStringField("sourceHandle"));
    }
    return HugeItemCollection::Instance()->RemoveLeftovers(
        [&named](const std::string& handle) { return named.count(handle) > 0; }, !anyLetter);
}

}  // namespace DatabaseLayer
