#include "support/LetterBoxContents.h"

#include <algorithm>

#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"

namespace moxeltest {

std::vector<std::string> SubjectsIn(LetterBox& box) {
    LetterBoxLock open(box);
    std::vector<std::string> subjects;
    for (const auto id : box.GetLetterIds()) {
        subjects.push_back(box.GetLetter(id)->GetSubject());
    }
    std::sort(subjects.begin(), subjects.end());
    return subjects;
}

std::vector<std::string> SubjectsIn(const LetterBoxPtr& box) {
    return SubjectsIn(*box);
}

int RowCount(const std::string& table) {
    return DatabaseLayer::ExecuteScalar("SELECT COUNT(*) FROM " + table + ";");
}

}  // namespace moxeltest
