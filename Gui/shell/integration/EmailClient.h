#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/integration/EmailClientAccount.h"

namespace EmailClientIntegration {

// A mail program whose POP3 accounts Moxel can protect. Used on the application thread.
class EmailClient {
public:
    virtual ~EmailClient() = default;

    // The program's POP3 accounts, in the program's own order. May throw Exception when the
    // program's settings cannot be read.
    virtual std::vector<EmailClientAccountPtr> EnumerateAccounts() = 0;
    // Shown in the program list.
    virtual std::string GetName() const = 0;
    // Shown under the name.
    virtual std::string GetDescription() const = 0;
};

using EmailClientPtr = std::shared_ptr<EmailClient>;

}  // namespace EmailClientIntegration
