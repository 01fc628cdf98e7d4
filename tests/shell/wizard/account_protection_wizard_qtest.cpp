// The Account Protection Wizard driven as a user would, on real files (a Thunderbird profile, the
// settings store) and a real database; messages go through the scripted asker.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>
#include <thread>

#include "integration/ProfileFiles.h"
#include "popserver/LocalPopServer.h"
#include "shell/integration/FileRegistry.h"
#include "shell/integration/Integration.h"
#include "shell/integration/OutlookExpress.h"
#include "shell/integration/Thunderbird.h"
#include "shell/wizard/AccountProtectionWizard.h"
#include "shell/wizard/ShellTestBench.h"
#include "support/ChildProcess.h"

using namespace moxeltest::shell;
using namespace moxeltest::integration;
using Wizard = AccountProtectionWizard;

namespace {

const std::string kPrefs = kPrefsHeader +
                           "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n" +
                           PopAccountPrefs("1", "pop.example.com", "joe", "joe@example.com") +
                           PopAccountPrefs("2", "pop.example.net", "ann", "ann@example.net",
                                           "user_pref(\"mail.server.server2.port\", 995);\n"
                                           "user_pref(\"mail.server.server2.socketType\", 3);\n");

const std::string kStoreAccount =
    std::string(EmailClientIntegration::OutlookExpress::kAccountsKey) + "\\00000001";

std::filesystem::path MakeProfile(Bench& bench) {
    WriteProfilesIni(bench.thunderbirdDir.Path(), {{"default", "abcd.default"}});
    const auto prefs = bench.thunderbirdDir.Path() / "abcd.default" / "prefs.js";
    WriteText(prefs, kPrefs);
    return prefs;
}

// An account of the settings store's mail program on port 995, which it may not protect.
std::shared_ptr<EmailClientIntegration::FileRegistry> MakeStoreAccount() {
    auto registry = std::make_shared<EmailClientIntegration::FileRegistry>();
    registry->SetTextValue(kStoreAccount, "Account Name", "Old Mail");
    registry->SetTextValue(kStoreAccount, "POP3 Server", "mail.example.org");
    registry->SetTextValue(kStoreAccount, "POP3 User Name", "old");
    registry->SetTextValue(kStoreAccount, "SMTP Email Address", "old@example.org");
    registry->SetNumberValue(kStoreAccount, "POP3 Port", 995);
    return registry;
}

template <typename T>
T* Child(Wizard& wizard, const char* name) {
    return wizard.currentPage()->findChild<T*>(name);
}

void Choose(Wizard& wizard, const char* listName, const QString& text) {
    auto* list = Child<QListWidget>(wizard, listName);
    QVERIFY(list != nullptr);
    const auto found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    list->setCurrentItem(found.first());
}

void Fill(Wizard& wizard, const QStringList& fields) {
    const char* names[] = {"address", "host", "userName"};
    for (int i = 0; i < fields.size(); ++i) {
        Child<QLineEdit>(wizard, names[i])->setText(fields[i]);
    }
}

QString Status(Wizard& wizard) {
    return Child<QLabel>(wizard, "status")->text();
}

void RaiseOnSessionThread(Bench& bench, bool loggedIn, const LetterBoxKey& key) {
    std::thread session([&] {
        if (loggedIn) {
            bench.core->GetEventReporter()->MailProgramLoggedIn(key);
        } else {
            bench.core->GetEventReporter()->MailProgramLoggedOut(key);
        }
    });
    session.join();
}

const LetterBoxKey kOtherKey("joe@example.com", "joe", "pop.example.com");

// From the start to the integration check with "Other".
void WalkOtherToCheck(Wizard& wizard) {
    wizard.show();
    Choose(wizard, "programs", "Other");
    wizard.next();
    Fill(wizard, {"joe@example.com", "pop.example.com", "joe"});
    wizard.next();
    wizard.next();
    QCOMPARE(wizard.currentId(), int(Wizard::kCheckPage));
}

}  // namespace

class AccountProtectionWizardTest : public QObject {
    Q_OBJECT

private slots:
    void walkThrough_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QList<int>>("pages");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("help");
        QTest::newRow("other") << "Other"
                               << "" << QStringList{"joe@example.com", " pop.example.com ", "joe"}
                               << QList<int>{Wizard::kProgramPage, Wizard::kSettingsPage,
                                             Wizard::kManualSetupPage, Wizard::kCheckPage,
                                             Wizard::kFinalPage}
                               << "joe@example.com/joe/pop.example.com"
                               << QStringList{"generic-installation-get.htm",
                                              "generic-installation-set.htm"};
        QTest::newRow("thunderbird account on 995 with TLS")
            << "Thunderbird"
            << "ann@example.net" << QStringList{}
            << QList<int>{Wizard::kProgramPage, Wizard::kAccountPage, Wizard::kSettingsPage,
                          Wizard::kCheckPage, Wizard::kFinalPage}
            << "ann@example.net/ann/pop.example.net:995"
            << QStringList{"generic-installation-get.htm"};
    }
    void walkThrough() {
        QFETCH(QString, program);
        QFETCH(QString, account);
        QFETCH(QStringList, fields);
        QFETCH(QList<int>, pages);
        QFETCH(QString, key);
        QFETCH(QStringList, help);
        Bench bench;
        const auto prefs = MakeProfile(bench);
        const LetterBoxKey expected = LetterBoxKey::Parse(key.toStdString());
        Wizard wizard(*bench.core, bench.services);
        wizard.show();
        QList<int> seen;
        while (true) {
            const int id = wizard.currentId();
            seen << id;
            if (id == Wizard::kProgramPage) {
                Choose(wizard, "programs", program);
            } else if (id == Wizard::kAccountPage) {
                Choose(wizard, "accounts", account);
            } else if (id == Wizard::kSettingsPage) {
                Fill(wizard, fields);
                wizard.button(QWizard::HelpButton)->click();
            } else if (id == Wizard::kManualSetupPage) {
                QCOMPARE(Child<QLineEdit>(wizard, "userName")->text(), key);
                QCOMPARE(Child<QLineEdit>(wizard, "server")->text(), QString("localhost"));
                QCOMPARE(Child<QLineEdit>(wizard, "port")->text(), QString("110"));
                wizard.button(QWizard::HelpButton)->click();
            } else if (id == Wizard::kCheckPage) {
                // Protected, but not yet downloaded: the mail program has not logged in.
                QVERIFY(bench.core->IsAccountRegistered(expected));
                QVERIFY(bench.core->GetRegisteredAccounts().empty());
                RaiseOnSessionThread(bench, true, expected);
                QTRY_VERIFY(Status(wizard).contains("successfully connected"));
            } else {
                break;
            }
            wizard.next();
            QVERIFY(seen.size() < 10);
        }
        QCOMPARE(seen, pages);
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY(!wizard.isVisible());
        QCOMPARE(bench.asker->Texts(), QStringList());
        QCOMPARE(bench.helpTopics, help);
        // Closing the wizard made the account a working POP3 account.
        const auto registered = bench.core->GetRegisteredAccounts();
        QCOMPARE(registered.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(registered.front().ToString()), key);
        if (program == "Thunderbird") {
            const auto lines = Lines(ReadText(prefs));
            QVERIFY(std::count(lines.begin(), lines.end(),
                               "user_pref(\"mail.server.server2.hostName\", \"localhost\");") == 1);
            QVERIFY(std::count(lines.begin(), lines.end(),
                               "user_pref(\"mail.server.server2.userName\", \"" +
                                   key.toStdString() + "\");") == 1);
        }
    }

    void refusals_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("protectFirst");
        QTest::addColumn<int>("stuckOn");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("no program selected")
            << ""
            << "" << false << int(Wizard::kProgramPage) << "No selection."
            << "Please select an email program from the list";
        QTest::newRow("no account selected")
            << "Thunderbird"
            << "" << false << int(Wizard::kAccountPage) << "No selection."
            << "Please select an account from the list";
        QTest::newRow("account already protected")
            << "Thunderbird"
            << "joe@example.com" << true << int(Wizard::kAccountPage) << Wizard::kTitle
            << EmailClientIntegration::kAlreadyProtected;
        QTest::newRow("settings store account on port 995")
            << "Outlook Express"
            << "Old Mail" << false << int(Wizard::kSettingsPage) << Wizard::kTitle
            << "Current version supports only default POP3 port (110)";
    }
    void refusals() {
        QFETCH(QString, program);
        QFETCH(QString, account);
        QFETCH(bool, protectFirst);
        QFETCH(int, stuckOn);
        QFETCH(QString, title);
        QFETCH(QString, text);
        Bench bench;
        const auto prefs = MakeProfile(bench);
        const auto registry = MakeStoreAccount();
        if (protectFirst) {
            EmailClientIntegration::Thunderbird thunderbird(registry,
                                                            {bench.thunderbirdDir.Path()});
            EmailClientIntegration::Integrate(*thunderbird.EnumerateAccounts().front(),
                                              "joe@example.com", *bench.core, 110);
        }
        const std::string prefsBefore = ReadText(prefs);
        Wizard wizard(*bench.core, bench.services);
        wizard.show();
        for (int steps = 0; wizard.currentId() != stuckOn; ++steps) {
            QVERIFY(steps < 5);
            if (wizard.currentId() == Wizard::kProgramPage) {
                Choose(wizard, "programs", program);
            } else if (wizard.currentId() == Wizard::kAccountPage) {
                Choose(wizard, "accounts", account);
            }
            wizard.next();
        }
        if (stuckOn == Wizard::kAccountPage && !account.isEmpty()) {
            Choose(wizard, "accounts", account);
        }
        // The fields as the account has them, which for this account cannot be protected.
        wizard.next();
        QCOMPARE(wizard.currentId(), stuckOn);
        QCOMPARE(bench.asker->told.size(), std::size_t(1));
        QCOMPARE(bench.asker->told[0].title, title);
        QCOMPARE(bench.asker->told[0].text, text);
        // Nothing was switched or protected by the refused step.
        QCOMPARE(ReadText(prefs), prefsBefore);
        QCOMPARE(QString::fromStdString(registry->GetTextValue(kStoreAccount, "POP3 Server")),
                 QString("mail.example.org"));
        QCOMPARE(QString::fromStdString(registry->GetTextValue(kStoreAccount, "POP3 User Name")),
                 QString("old"));
        QVERIFY(!bench.core->IsAccountRegistered(
            LetterBoxKey("old@example.org", "old", "mail.example.org")));
    }

    void integrationCheckTurnsGreenOnlyForTheAccountsLogin() {
        Bench bench;
        Wizard wizard(*bench.core, bench.services);
        WalkOtherToCheck(wizard);
        const QString waiting = Status(wizard);
        QVERIFY(waiting.contains("Waiting for connection..."));
        const struct {
            const char* label;
            bool loggedIn;
            LetterBoxKey key;
        } others[] = {
            {"another account's login", true,
             LetterBoxKey("ann@example.net", "ann", "pop.example.net")},
            {"same address, another user", true,
             LetterBoxKey("joe@example.com", "joe2", "pop.example.com")},
            {"the account's logout", false, kOtherKey},
        };
        for (const auto& other : others) {
            RaiseOnSessionThread(bench, other.loggedIn, other.key);
            QCoreApplication::processEvents();
            QVERIFY2(Status(wizard) == waiting, other.label);
        }
        RaiseOnSessionThread(bench, true, kOtherKey);
        QTRY_VERIFY(Status(wizard).contains("successfully connected"));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::kFinalPage));
        QVERIFY(bench.asker->told.empty());
    }

    // Python's poplib as the mail program, logging in to the real local server with the settings
    // the manual setup page shows.
    void integrationCheckSeesARealMailProgramLogin() {
        Bench bench;
        LocalPopServer server(*bench.office, bench.core->GetEventReporter(),
                              [](const std::string& line) { qWarning("%s", line.c_str()); });
        server.Start(0);
        const auto port = server.WaitUntilListening(std::chrono::seconds(10));
        QVERIFY(port != 0);
        GetAppProperties().SetValue(AppPropertyCollection::kPopPort, std::to_string(port));
        Wizard wizard(*bench.core, bench.services);
        wizard.show();
        Choose(wizard, "programs", "Other");
        wizard.next();
        Fill(wizard, {"joe@example.com", "pop.example.com", "joe"});
        wizard.next();
        const QString user = Child<QLineEdit>(wizard, "userName")->text();
        QCOMPARE(Child<QLineEdit>(wizard, "port")->text(), QString::number(port));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::kCheckPage));
        const char* const script =
            "import poplib, sys\n"
            "box = poplib.POP3('127.0.0.1', int(sys.argv[1]), timeout=30)\n"
            "box.user(sys.argv[2])\n"
            "box.pass_('secret-77')\n"
            "print(box.stat())\n"
            "box.quit()\n";
        const auto result = moxeltest::RunToEnd(
            "/usr/bin/python3", {"-c", script, std::to_string(port), user.toStdString()});
        QVERIFY2(result.exitCode == 0, result.err.c_str());
        QTRY_VERIFY(Status(wizard).contains("successfully connected"));
        wizard.next();
        wizard.button(QWizard::FinishButton)->click();
        const auto registered = bench.core->GetRegisteredAccounts();
        QCOMPARE(registered.size(), std::size_t(1));
        QCOMPARE(registered.front(), kOtherKey);
        server.Stop();
    }

    // Its parent went away (the program exits) with the wizard still open.
    void aWizardDestroyedOpenStillFinishesTheProtection() {
        Bench bench;
        {
            Wizard wizard(*bench.core, bench.services);
            WalkOtherToCheck(wizard);
            QVERIFY(bench.core->GetRegisteredAccounts().empty());
        }
        QCOMPARE(bench.core->GetRegisteredAccounts().size(), std::size_t(1));
    }

    void skippingTheCheckWarnsAndGoesOn() {
        Bench bench;
        Wizard wizard(*bench.core, bench.services);
        WalkOtherToCheck(wizard);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::kFinalPage));
        QCOMPARE(bench.asker->Texts(),
                 QStringList{"You have skipped the integration check. It is not recommended.\n\n"
                             "Note: You can click Back if you want to check if the account is "
                             "correctly integrated with Moxel."});
        // Back and forth does not protect the account twice; the check waits again.
        wizard.back();
        wizard.back();
        wizard.back();
        QCOMPARE(wizard.currentId(), int(Wizard::kSettingsPage));
        wizard.next();
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::kCheckPage));
        QCOMPARE(bench.asker->told.size(), std::size_t(1));
        RaiseOnSessionThread(bench, true, kOtherKey);
        QTRY_VERIFY(Status(wizard).contains("successfully connected"));
        // Cancelling still makes the protected account a working one.
        wizard.reject();
        QCOMPARE(bench.core->GetRegisteredAccounts().size(), std::size_t(1));
    }
};

QTEST_MAIN(AccountProtectionWizardTest)
#include "account_protection_wizard_qtest.moc"
