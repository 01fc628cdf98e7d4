#include "database/LetterStoreCleanup.h"

#include <set>
#include <string>

#include "database/ThreadDatabase.h"

namespace DatabaseLayer {

HugeItemCollection::Leftovers CleanLetterStore() {
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
