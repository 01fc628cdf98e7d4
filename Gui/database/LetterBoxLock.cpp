#include "database/LetterBoxLock.h"

#include <utility>

#include "core/Exception.h"

namespace {

LetterBox& Require(const LetterBoxPtr& box) {
    if (!box) {
        throw Exception("Internal error in LetterBoxLock: no letter box given");
    }
    return *box;
}

}  // namespace

LetterBoxLock::LetterBoxLock(LetterBox& letterBox) : box(letterBox) {
    if (!box.Open()) {
        throw Exception("Unable to open LetterBox");
    }
}

LetterBoxLock::LetterBoxLock(LetterBoxPtr letterBox)
    : keepAlive(std::move(letterBox)), box(Require(keepAlive)) {
    if (!box.Open()) {
        throw Exception("Unable to open LetterBox");
    }
}

LetterBoxLock::~LetterBoxLock() {
    try {
        box.Close();
    } catch (...) {
        // The box stays marked open until the next start-up resets it; nothing better can be
        // done from a destructor.
    }
}
