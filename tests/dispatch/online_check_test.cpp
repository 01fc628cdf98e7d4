// The on-line check over lists of our own: loopback answers, names that do not resolve do not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispatch/OnlineCheck.h"

namespace {

TEST(OnlineCheck, OnLineAsSoonAsOneHostAnswers) {
    struct Case {
        const char* label;
        std::vector<std::string> hosts;
        bool online;
    };
    const std::vector<Case> cases = {
        {"unknown names, then loopback", {"first.invalid", "second.invalid", "127.0.0.1"}, true},
        {"unknown names only", {"first.invalid", "second.invalid", "third.invalid"}, false},
        {"no hosts", {}, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        EXPECT_EQ(IsComputerOnline(test.hosts), test.online);
    }
}

}  // namespace
