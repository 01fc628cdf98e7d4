#pragma once

#include <string>
#include <vector>

#include "database/LetterTypes.h"

namespace moxeltest {

// The subjects of a box's letters, sorted (box order is the database's and means nothing).
// Opens the box for the calling thread while reading.
std::vector<std::string> SubjectsIn(LetterBox& box);
std::vector<std::string> SubjectsIn(const LetterBoxPtr& box);
// The number of rows of a table in the calling thread's database.
int RowCount(const std::string& table);

}  // namespace moxeltest
