#include <gtest/gtest.h>

#include <memory>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/AppPropertyCollection.h"
#include "integration/ProfileFiles.h"
#include "postoffice/PopPostOffice.h"
#include "shell/integration/FileRegistry.h"
#include "shell/integration/GenericEmailClient.h"
#include "shell/integration/GenericEmailClientAccount.h"
#include "shell/integration/InstalledEmailClientEnumerator.h"
#include "shell/integration/Integration.h"
#include "shell/integration/OutlookExpress.h"
#include "shell/integration/OutlookExpressAccount.h"
#include "support/DatabaseFixture.h"
#include "support/TestDataDir.h"

namespace {

using namespace EmailClientIntegration;
using moxeltest::integration::ReadText;
using moxeltest::integration::WriteText;

const std::string kAccounts = OutlookExpress::kAccountsKey;

// The settings store's mail program over a real store file, with a real post office.
class RegistryClientTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        GetAppProperties().SetValue(DatabaseLayer::AppPropertyCollection::kPopPort, "1110");
        office = std::make_unique<PopPostOffice>();
        core = std::make_unique<MoxelCore>(*office);
        registry = std::make_shared<FileRegistry>(configDir.Path() / "registry");
    }

    // An account key with the values given; a port of -1 leaves "POP3 Port" out.
    void AddAccount(const std::string& id, const std::string& name, const std::string& server,
                    const std::string& user, int port, bool withUserName = true) {
        const std::string key = kAccounts + "\\" + id;
        ASSERT_TRUE(registry->SetTextValue(key, "Account Name", name));
        ASSERT_TRUE(registry->SetTextValue(key, "POP3 Server", server));
        if (withUserName) {
            ASSERT_TRUE(registry->SetTextValue(key, "POP3 User Name", user));
        }
        ASSERT_TRUE(registry->SetTextValue(key, "SMTP Email Address", user + "@example.com"));
        if (port >= 0) {
            ASSERT_TRUE(
                registry->SetNumberValue(key, "POP3 Port", static_cast<std::uint32_t>(port)));
        }
    }

    EmailClientAccountPtr AccountNamed(const std::string& name) {
        for (const auto& account : OutlookExpress(registry).EnumerateAccounts()) {
            if (account->GetName() == name) {
                return account;
            }
        }
        ADD_FAILURE() << "no account " << name;
        return nullptr;
    }

    moxeltest::TempDir configDir;
    std::unique_ptr<PopPostOffice> office;
    std::unique_ptr<MoxelCore> core;
    std::shared_ptr<FileRegistry> registry;
};

TEST_F(RegistryClientTest, OnlyKeysWithPop3ServerAndUserNameAreAccounts) {
    AddAccount("00000001", "Mail", "pop.example.com", "joe", -1);
    AddAccount("00000002", "Sending only", "pop.example.com", "", -1, false);
    ASSERT_TRUE(
        registry->SetTextValue(kAccounts + "\\00000003", "NNTP Server", "news.example.com"));
    AddAccount("00000004", "Second", "pop.example.org", "ann", 110);

    const auto accounts = OutlookExpress(registry).EnumerateAccounts();
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0]->GetName(), "Mail");
    EXPECT_EQ(accounts[1]->GetName(), "Second");
    EXPECT_EQ(accounts[0]->GetPop3Port(), 110);  // absent port
    EXPECT_EQ(accounts[0]->GetDescription(),
              "<table width='100%' cellpadding=1 border=0><tr><td>POP3 Server</td><td> </td>"
              "<td>pop.example.com</td></tr><tr><td>POP3 User Name</td><td> </td><td>joe</td>"
              "</tr><tr><td>Email Address</td><td> </td><td>joe@example.com</td></tr></table>"
              "<br><font color=#FF4040>If Outlook Express is running please exit it before you "
              "click Next.</font>");
    EXPECT_TRUE(accounts[0]->CanBeChangedAutomatically());
}

TEST_F(RegistryClientTest, IntegrateSwitchesTheAccountAndRegistersItsKeyOnce) {
    struct Case {
        const char* label;
        int port;  // -1: no "POP3 Port" value
        const char* refusal;
    } cases[] = {
        {"port value absent", -1, nullptr},
        {"port 110", 110, nullptr},
        {"port 995", 995, "Current version supports only default POP3 port (110)"},
        {"port 111", 111, "Current version supports only default POP3 port (110)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string id = "0000000" + std::to_string(++n);
        const std::string user = "user" + std::to_string(n);
        AddAccount(id, c.label, "pop.example.com", user, c.port);
        const auto account = AccountNamed(c.label);
        ASSERT_NE(account, nullptr);
        const std::string before = ReadText(registry->GetPath());
        const LetterBoxKey key(user + "@example.com", user, "pop.example.com");
        if (c.refusal != nullptr) {
            try {
                Integrate(*account, user + "@example.com", *core, 1110);
                ADD_FAILURE() << "integrated";
            } catch (const Exception& e) {
                EXPECT_EQ(e.GetDescription(), c.refusal);
            }
            EXPECT_EQ(ReadText(registry->GetPath()), before);
            EXPECT_FALSE(core->IsAccountRegistered(key));
            continue;
        }
        const auto result = Integrate(*account, user + "@example.com", *core, 1110);
        EXPECT_EQ(result.key, key);
        EXPECT_TRUE(result.registeredKey);
        EXPECT_TRUE(core->IsAccountRegistered(key));
        const auto reread = AccountNamed(c.label);
        EXPECT_EQ(reread->GetPop3UserName(), user + "@example.com/" + user + "/pop.example.com");
        EXPECT_EQ(reread->GetPop3Server(), "localhost");
        EXPECT_EQ(reread->GetPop3Port(), 1110);
        EXPECT_TRUE(IsIntegratedForKey(*reread, key, 1110));
        EXPECT_FALSE(IsIntegratedForKey(*reread, key, 110));  // another local port
        try {
            Integrate(*reread, user + "@example.com", *core, 1110);
            ADD_FAILURE() << "integrated twice";
        } catch (const Exception& e) {
            EXPECT_EQ(e.GetDescription(), kAlreadyProtected);
        }
    }
}

TEST_F(RegistryClientTest, AKeyRegisteredBeforeIsNotRegisteredAgain) {
    AddAccount("00000001", "Mail", "pop.example.com", "joe", 110);
    const LetterBoxKey key("joe@example.com", "joe", "pop.example.com");
    core->RegisterPlaceholderAccount(key);
    const auto result = Integrate(*AccountNamed("Mail"), "joe@example.com", *core, 1110);
    EXPECT_FALSE(result.registeredKey);
    FinishIntegration(result, *core);  // leaves the existing placeholder as it is
    EXPECT_TRUE(core->GetRegisteredAccounts().empty());
}

TEST_F(RegistryClientTest, FinishingANewIntegrationMakesItAPop3Account) {
    AddAccount("00000001", "Mail", "pop.example.com", "joe", 110);
    const auto result = Integrate(*AccountNamed("Mail"), "joe@example.com", *core, 1110);
    EXPECT_TRUE(core->GetRegisteredAccounts().empty());
    FinishIntegration(result, *core);
    EXPECT_EQ(core->GetRegisteredAccounts(), std::vector<LetterBoxKey>{result.key});
}

TEST_F(RegistryClientTest, RestoreWritesTheKeysServerAndPort110AndFindsOnlyIntegratedAccounts) {
    AddAccount("00000001", "Other account", "pop.example.org", "ann", 110);
    AddAccount("00000002", "Mail", "pop.example.com", "joe", -1);
    ASSERT_TRUE(registry->SetTextValue(kAccounts + "\\00000002", "Extra", "kept"));
    const auto result = Integrate(*AccountNamed("Mail"), "joe@example.com", *core, 1110);
    std::vector<std::string> problems;
    const std::vector<EmailClientPtr> clients{std::make_shared<OutlookExpress>(registry),
                                              std::make_shared<GenericEmailClient>()};
    auto found = FindAccountOfKey(clients, result.key, 1110, problems);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetName(), "Mail");
    EXPECT_EQ(FindAccountOfKey(clients, LetterBoxKey("a", "b", "c"), 1110, problems), nullptr);

    Restore(*found, result.key);
    const auto restored = AccountNamed("Mail");
    EXPECT_EQ(restored->GetPop3Server(), "pop.example.com");
    EXPECT_EQ(restored->GetPop3UserName(), "joe");
    EXPECT_EQ(restored->GetPop3Port(), 110);
    EXPECT_TRUE(registry->ValueExists(kAccounts + "\\00000002", "POP3 Port"));
    EXPECT_EQ(registry->GetTextValue(kAccounts + "\\00000002", "Extra"), "kept");
    EXPECT_EQ(FindAccountOfKey(clients, result.key, 1110, problems), nullptr);
    EXPECT_TRUE(problems.empty());
}

TEST_F(RegistryClientTest, ADamagedStoreIsListedWithItsProblemAndNeverOverwritten) {
    WriteText(registry->GetPath(), "MoxelRegistry 1\n[Software]\ntext \"a\" \"b\"\n");
    const auto clients =
        InstalledEmailClientEnumerator(registry, std::vector<std::filesystem::path>{}).Enumerate();
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_EQ(clients[0]->GetName(), "Outlook Express");
    try {
        clients[0]->EnumerateAccounts();
        ADD_FAILURE() << "listed accounts of a damaged store";
    } catch (const Exception& e) {
        EXPECT_NE(e.GetDescription().find("is incomplete"), std::string::npos);
    }
    std::vector<std::string> problems;
    EXPECT_EQ(FindAccountOfKey(clients, LetterBoxKey("a", "b", "c"), 1110, problems), nullptr);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(registry->GetPath().string()), std::string::npos);
    EXPECT_EQ(ReadText(registry->GetPath()), "MoxelRegistry 1\n[Software]\ntext \"a\" \"b\"\n");
}

TEST_F(RegistryClientTest, TheGenericAccountOnlyHoldsTheValuesToType) {
    GenericEmailClientAccount account;
    account.SetPop3Server("pop.example.com");
    account.SetPop3UserName("joe");
    const auto result = Integrate(account, "joe@example.com", *core, 1110);
    EXPECT_FALSE(account.CanBeChangedAutomatically());
    EXPECT_EQ(account.GetPop3UserName(), "joe@example.com/joe/pop.example.com");
    EXPECT_EQ(account.GetPop3Server(), "localhost");
    EXPECT_EQ(account.GetPop3Port(), 1110);
    EXPECT_TRUE(core->IsAccountRegistered(result.key));

    struct Case {
        const char* label;
        const char* address;
        const char* server;
        const char* user;
    } incomplete[] = {
        {"no address", "", "pop.example.com", "joe"},
        {"no host", "joe@example.com", "", "joe"},
        {"no user", "joe@example.com", "pop.example.com", ""},
        {"slash in the user", "joe@example.com", "pop.example.com", "jo/e"},
        {"slash in the address", "jo/e@example.com", "pop.example.com", "joe"},
    };
    for (const auto& c : incomplete) {
        SCOPED_TRACE(c.label);
        GenericEmailClientAccount bad;
        bad.SetPop3Server(c.server);
        bad.SetPop3UserName(c.user);
        EXPECT_THROW(Integrate(bad, c.address, *core, 1110), Exception);
        EXPECT_EQ(bad.GetPop3Server(), c.server);
    }
}

TEST_F(RegistryClientTest, TheProgramListEndsWithOtherAndShowsOnlyProgramsWithAccounts) {
    moxeltest::TempDir thunderbirdRoot;
    const std::vector<std::filesystem::path> roots{thunderbirdRoot.Path()};
    auto names = [&] {
        std::vector<std::string> result;
        for (const auto& client : InstalledEmailClientEnumerator(registry, roots).Enumerate()) {
            result.push_back(client->GetName());
        }
        return result;
    };
    EXPECT_EQ(names(), std::vector<std::string>{"Other"});
    AddAccount("00000001", "Mail", "pop.example.com", "joe", 110);
    EXPECT_EQ(names(), (std::vector<std::string>{"Outlook Express", "Other"}));
    moxeltest::integration::WriteProfilesIni(thunderbirdRoot.Path(), {{"default", "abc.default"}});
    EXPECT_EQ(names(), (std::vector<std::string>{"Thunderbird", "Outlook Express", "Other"}));
    const auto other = InstalledEmailClientEnumerator(registry, roots).Enumerate().back();
    EXPECT_EQ(other->GetDescription(), "Any program that supports POP3 protocol.");
    EXPECT_TRUE(other->EnumerateAccounts().empty());
}

}  // namespace
