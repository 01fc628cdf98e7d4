#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database/LetterBoxKey.h"
#include "postoffice/PopPostOffice.h"
#include "support/DatabaseFixture.h"

namespace moxeltest {

// A persistent post office with one protected account whose inbox holds given letters.
class InboxTest : public DatabaseTest {
protected:
    static inline const LetterBoxKey kKey{"me@example.com", "me", "pop.example.com"};

    void SetUp() override;
    void TearDown() override;
    // Protects the account and puts the texts into its inbox, in order.
    void FillInbox(const std::vector<std::string>& texts);
    // The texts of the inbox now, in its order (read on the test thread).
    std::vector<std::string> InboxTexts();

    std::unique_ptr<PopPostOffice> office;
};

}  // namespace moxeltest
