#pragma once

#include "database/LetterBoxData.h"
#include "database/LetterTypes.h"

// Holds a letter box open for the calling thread for the life of the scope. Lives on one thread.
class LetterBoxLock {
public:
    // Opens the box; throws Exception "Unable to open LetterBox" when another thread has it open.
    explicit LetterBoxLock(LetterBox& box);
    // The same; keeps the box alive until the lock ends. A null box is an internal error.
    explicit LetterBoxLock(LetterBoxPtr box);
    // Closes the box once. A close that fails is given up (LetterBox::ForgetOpen), so that the
    // box is free again for every thread, and reported: left normally, the destructor throws
    // Exception "Unable to close LetterBox: <reason>"; left by an exception, the error on its
    // way is the one reported.
    ~LetterBoxLock() noexcept(false);
    LetterBoxLock(const LetterBoxLock&) = delete;
    LetterBoxLock& operator=(const LetterBoxLock&) = delete;

private:
    LetterBoxPtr keepAlive;
    LetterBox& box;
    int exceptionsAtStart;
};
