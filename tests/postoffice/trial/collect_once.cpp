// One collection run of a stored delivery point, as a program of its own, for the kill trial:
// start-up (database, letter store clean-up, POP library), download, sort, exit 0. Arguments:
// the delivery point's id and the trusted sender list's id; MOXEL_DATA_DIR names the data folder.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "core/EventReporter.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/LetterStoreCleanup.h"
#include "popwire.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/TrustedSenderList.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: collect_once <delivery point id> <trusted list id>\n");
        return 2;
    }
    try {
        InitializeThreadData();
        DatabaseLayer::CleanLetterStore();
        if (PopInitializeA(nullptr, nullptr) == 0) {
            std::fprintf(stderr, "popwire did not start\n");
            return 1;
        }
        {
            MailDeliveryPoint point(std::atoll(argv[1]));
            TrustedSenderList trusted(std::atoll(argv[2]));
            EventReporter reporter;
            const RealTimeClock clock;
            // The trial times its kills from here: start-up is over.
            std::fprintf(stderr, "collecting\n");
            std::fflush(stderr);
            point.DeliverMail(clock, reporter);
            point.SortIncomingMail(clock, trusted.GetSenderList(), trusted, reporter);
        }
        PopUninitialize();
        ReleaseThreadData();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "collection failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
