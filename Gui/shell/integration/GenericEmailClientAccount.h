#pragma once

#include "shell/integration/EmailClientAccount.h"

namespace EmailClientIntegration {

// An account of a mail program Moxel cannot change: the values live in memory only, so that the
// wizard can show the user what to type. Used on the application thread.
class GenericEmailClientAccount : public EmailClientAccount {
public:
    std::string GetName() const override { return "Generic Account"; }
    std::string GetDescription() const override { return "Generic Account"; }
    void SetPop3Server(const std::string& value) override { server = value; }
    std::string GetPop3Server() const override { return server; }
    void SetPop3UserName(const std::string& value) override { userName = value; }
    std::string GetPop3UserName() const override { return userName; }
    void SetEmailAddress(const std::string& value) override { address = value; }
    std::string GetEmailAddress() const override { return address; }
    void SetPop3Port(int value) override { port = value; }
    int GetPop3Port() const override { return port; }
    bool CanBeChangedAutomatically() const override { return false; }

private:
    std::string server;
    std::string userName;
    std::string address;
    int port = 110;
};

}  // namespace EmailClientIntegration
