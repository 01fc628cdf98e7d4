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
    // Closes the box once; errors are swallowed (destructors never throw).
    ~LetterBoxLock();
    LetterBoxLock(const LetterBoxLock&) = delete;
    LetterBoxLock& operator=(const LetterBoxLock&) = delete;

private:
    LetterBoxPtr keepAlive;
    LetterBox& box;
};
