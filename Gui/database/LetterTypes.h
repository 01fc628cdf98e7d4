#pragma once

#include <memory>

// The names under which letters and letter boxes are handed around the program, for headers
// that only pass them on. A Letter is its LetterData row object, a LetterBox its LetterBoxData;
// both travel by shared pointer.
namespace DatabaseLayer {
class LetterData;
class LetterBoxData;
}  // namespace DatabaseLayer

using Letter = DatabaseLayer::LetterData;
using LetterBox = DatabaseLayer::LetterBoxData;
using LetterPtr = std::shared_ptr<Letter>;
using LetterBoxPtr = std::shared_ptr<LetterBox>;
