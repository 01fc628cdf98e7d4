#include "database/PatientLetterBoxLock.h"

#include <thread>

#include "core/Exception.h"
#include "database/LetterBoxData.h"
#include "database/Transaction.h"

PatientLetterBoxLock::PatientLetterBoxLock(LetterBoxPtr boxIn,
                                           std::chrono::steady_clock::time_point deadline)
    : box(std::move(boxIn)) {
    if (!box) {
        throw Exception("Internal error in PatientLetterBoxLock: no box");
    }
    for (;;) {
        bool opened = false;
        {
            DatabaseLayer::Transaction transaction;
            opened = box->Open();
        }
        if (opened) {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw Exception("Unable to open LetterBox");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

PatientLetterBoxLock::~PatientLetterBoxLock() {
    try {
        DatabaseLayer::Transaction transaction;
        box->Close();
    } catch (...) {
        // A destructor must not throw; a box whose close failed must not stay locked.
        box->ForgetOpen();
    }
}
