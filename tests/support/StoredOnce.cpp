#include "support/StoredOnce.h"

#include <gtest/gtest.h>

namespace moxeltest {

void ExpectEachStoredOnce(const StoredTexts& stored,
                          const std::map<std::string, std::string>& expected) {
    for (const auto& [subject, text] : expected) {
        SCOPED_TRACE(subject);
        const auto found = stored.find(subject);
        if (found == stored.end()) {
            ADD_FAILURE() << "lost";
            continue;
        }
        if (found->second.size() != 1u) {
            ADD_FAILURE() << "stored " << found->second.size() << " times";
            continue;
        }
        EXPECT_EQ(found->second.front(), text);
    }
    for (const auto& [subject, texts] : stored) {
        EXPECT_EQ(expected.count(subject), 1u) << "a letter nobody sent: " << subject;
    }
}

}  // namespace moxeltest
