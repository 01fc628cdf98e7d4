#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "database/LetterTypes.h"
#include "postoffice/LetterDistributorData.h"

// Brings an account's new mail into a letter box; each mail delivery point owns one and calls it
// once per collection run. Built from its row through the LetterDistributor type registry.
// Used on the mail collection thread; every operation may throw Exception.
class LetterDistributor {
public:
    virtual ~LetterDistributor();

    // Brings the new mail into `letterBox` (which the calling thread may, but need not, hold
    // open).
    virtual void Distribute(LetterBox& letterBox, const Clock& clock) = 0;
    // Moves the letters that were downloaded but not yet handed over into `letterBox` (which
    // the calling thread holds open), for an account that is given up. The base keeps no
    // letters and does nothing.
    virtual void HandOverWaitingLetters(LetterBox& letterBox);
    // What the last Distribute has to tell the user without having failed, each once; the base
    // has nothing.
    virtual std::vector<std::string> TakeWarnings();
    // The distributor's row. The base has none and throws Exception "Not supported.".
    virtual DatabaseLayer::LetterDistributorData& GetData();
};

using LetterDistributorPtr = std::shared_ptr<LetterDistributor>;
