#pragma once

#include "shell/integration/EmailClient.h"

namespace EmailClientIntegration {

// "Other": any mail program that speaks POP3, set up by hand with the values the wizard shows.
// It lists no accounts; the wizard uses a new GenericEmailClientAccount. Any thread.
class GenericEmailClient : public EmailClient {
public:
    std::vector<EmailClientAccountPtr> EnumerateAccounts() override { return {}; }
    std::string GetName() const override { return "Other"; }
    std::string GetDescription() const override {
        return "Any program that supports POP3 protocol.";
    }
};

}  // namespace EmailClientIntegration
