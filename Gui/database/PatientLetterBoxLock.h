#pragma once

#include <chrono>

#include "database/LetterTypes.h"

// Holds a letter box open for the calling thread for the life of the scope, like LetterBoxLock,
// but waits while another thread (a collection run, a mail program's session) has the box open:
// it tries again every 50 ms until `deadline`. Each try is a transaction of its own, so the
// caller must not hold one: the other thread could not close the box. Lives on one thread.
class PatientLetterBoxLock {
public:
    // Throws Exception "Unable to open LetterBox" when the box is still held at `deadline`.
    PatientLetterBoxLock(LetterBoxPtr box, std::chrono::steady_clock::time_point deadline);
    // Closes the box once; a close that fails is given up (the box is free for every thread).
    ~PatientLetterBoxLock();
    PatientLetterBoxLock(const PatientLetterBoxLock&) = delete;
    PatientLetterBoxLock& operator=(const PatientLetterBoxLock&) = delete;

private:
    LetterBoxPtr box;
};
