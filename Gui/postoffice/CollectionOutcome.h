#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

// What one collection run did, for a status display or a script: when it ran (local time of
// the post office's clock), whether it ended well, and the letters it moved. A plain value.
struct CollectionOutcome {
    boost::posix_time::ptime started;
    boost::posix_time::ptime finished;
    bool succeeded = false;
    // The error that ended the run ("End of work" for a stop); empty after a good run.
    std::string error;
    // Letters downloaded (in the recent boxes after each download), letters that reached an
    // inbox while sorting, and letters sent by the dispatch point.
    int lettersRetrieved = 0;
    int lettersApproved = 0;
    int lettersSent = 0;
};
