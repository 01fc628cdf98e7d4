#include "database/LetterBoxLock.h"

#include <exception>
#include <string>
#include <utility>

#include "core/Exception.h"

namespace {

LetterBox& Require(const LetterBoxPtr& box) {
    if (!box) {
        throw Exception("Internal error in LetterBoxLock: no letter box given");
    }
    return *box;
}

// The text of the exception being handled.
std::string CurrentErrorText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

LetterBoxLock::LetterBoxLock(LetterBox& letterBox)
    : box(letterBox), exceptionsAtStart(std::uncaught_exceptions()) {
    if (!box.Open()) {
        throw Exception("Unable to open LetterBox");
    }
}

LetterBoxLock::LetterBoxLock(LetterBoxPtr letterBox)
    : keepAlive(std::move(letterBox)),
      box(Require(keepAlive)),
      exceptionsAtStart(std::uncaught_exceptions()) {
    if (!box.Open()) {
        throw Exception("Unable to open LetterBox");
    }
}

LetterBoxLock::~LetterBoxLock() noexcept(false) {
    try {
        box.Close();
    } catch (...) {
        box.ForgetOpen();
        if (std::uncaught_exceptions() == exceptionsAtStart) {
            throw Exception("Unable to close LetterBox: " + CurrentErrorText());
        }
    }
}
