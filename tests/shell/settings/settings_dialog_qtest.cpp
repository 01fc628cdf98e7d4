// The settings dialog on a real database: what each control stores and when, the accounts list
// with the wizard and the removal behind its buttons, and the SMTP test dialog against a real
// SMTP server (aiosmtpd) and a silent one.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "core/Directories.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "peers/AiosmtpdServer.h"
#include "peers/ScriptedSmtpServer.h"
#include "popwire.h"
#include "shell/dialogs/settings/AuthorizationMethodDialog.h"
#include "shell/dialogs/settings/CVerifyGlobalSettingsDialog.h"
#include "shell/dialogs/settings/SettingsDialog.h"
#include "shell/dialogs/settings/SettingsTestRun.h"
#include "shell/wizard/AccountProtectionWizard.h"
#include "shell/wizard/RemoveProtectionDialog.h"
#include "shell/wizard/ShellTestBench.h"
#include "smtpwire.h"
#include "support/SqliteFile.h"

using namespace moxeltest::shell;

namespace {

// No test's worker may outlive its data folder.
struct RunsEnded {
    ~RunsEnded() { SettingsTestRun::WaitForAll(); }
};

void Protect(Bench& bench, const LetterBoxKey& key) {
    bench.core->RegisterPlaceholderAccount(key);
    bench.core->TurnPlaceholderDeliveryPointIntoPopPoint(key);
}

QString StoredLeaveCopies() {
    return QString::fromStdString(moxeltest::QueryText(
        GetDatabasePath(), "SELECT value FROM AppProperty WHERE name = 'LeaveCopies';"));
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
    auto* child = parent.findChild<T*>(name);
    if (child == nullptr) {
        qWarning("no child %s", name);
    }
    return child;
}

const QString kRefusedLogin =
    "The SMTP server refused the login: 535 5.7.8 Authentication credentials invalid";

QStringList Lines(CVerifyGlobalSettingsDialog& dialog) {
    return Child<QPlainTextEdit>(dialog, "lines")->toPlainText().split('\n', Qt::SkipEmptyParts);
}

QString Verdict(CVerifyGlobalSettingsDialog& dialog) {
    return Child<QLabel>(dialog, "verdict")->text();
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private slots:
    // As the program does at start-up: the dispatch point talks through both libraries.
    void initTestCase() {
        QVERIFY(PopInitializeA(nullptr, nullptr) != 0);
        QVERIFY(SmtpInitializeA(nullptr, nullptr) != 0);
    }
    void cleanupTestCase() {
        SmtpUninitialize();
        PopUninitialize();
    }

    void leaveCopiesIsWrittenAtEachClick() {
        Bench bench;
        SettingsDialog dialog(*bench.core, bench.services);
        dialog.show();
        auto* box = Child<QCheckBox>(dialog, "leaveCopies");
        QVERIFY(!box->isChecked());
        for (const char* expected : {"true", "false", "true"}) {
            box->click();
            QCOMPARE(StoredLeaveCopies(), QString(expected));
        }
    }

    void accountsAreListedAddedAndRemoved() {
        Bench bench;
        Protect(bench, LetterBoxKey("joe@example.com", "joe", "pop.example.com"));
        Protect(bench, LetterBoxKey("ann@example.net", "ann", "pop.example.net:995"));
        SettingsDialog dialog(*bench.core, bench.services);
        dialog.show();
        auto* list = Child<QTreeWidget>(dialog, "accounts");
        QCOMPARE(list->headerItem()->text(0), QString("Email Address"));
        QCOMPARE(list->headerItem()->text(1), QString("Host Name"));
        QCOMPARE(list->headerItem()->text(2), QString("User Name"));
        QCOMPARE(list->topLevelItemCount(), 2);
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const auto* item = list->topLevelItem(i);
            rows << item->text(0) + " " + item->text(1) + " " + item->text(2);
        }
        rows.sort();
        QCOMPARE(rows, (QStringList{"ann@example.net pop.example.net:995 ann",
                                    "joe@example.com pop.example.com joe"}));

        Child<QAbstractButton>(dialog, "add")->click();
        auto* wizard = dialog.findChild<AccountProtectionWizard*>();
        QVERIFY(wizard != nullptr && wizard->isVisible());
        wizard->reject();

        auto* remove = Child<QAbstractButton>(dialog, "remove");
        QVERIFY(!remove->isEnabled());
        list->setCurrentItem(list->topLevelItem(0));
        const QString address = list->topLevelItem(0)->text(0);
        bench.asker->answers = {false, true};
        remove->click();  // No: nothing happens
        QVERIFY(dialog.findChild<RemoveProtectionDialog*>() == nullptr);
        QCOMPARE(list->topLevelItemCount(), 2);
        remove->click();
        QCOMPARE(bench.asker->questions,
                 QStringList(2, "Are you sure you want to remove protection for this account?"));
        auto* removal = dialog.findChild<RemoveProtectionDialog*>();
        QVERIFY(removal != nullptr && removal->isVisible());
        // No longer downloaded, so no longer listed.
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(list->topLevelItem(0)->text(0) != address);
    }

    void mailDeliveryEditsAreStored_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("leaving the field") << "leave";
        QTest::newRow("closing the dialog") << "close";
        QTest::newRow("starting the test") << "test";
    }
    void mailDeliveryEditsAreStored() {
        QFETCH(QString, ending);
        Bench bench;
        RunsEnded runsEnded;
        const auto point = bench.office->GetSmtpDispatchPoint();
        SettingsDialog dialog(*bench.core, bench.services);
        dialog.show();
        auto* server = Child<QLineEdit>(dialog, "server");
        QTest::keyClicks(server, "smtp.example.com:587");
        QCOMPARE(point->GetSmtpServerAddress(), std::string());
        if (ending == "leave") {
            emit server->editingFinished();
        } else if (ending == "close") {
            dialog.reject();
        } else {
            Child<QAbstractButton>(dialog, "test")->click();
            QVERIFY(dialog.findChild<CVerifyGlobalSettingsDialog*>() != nullptr);
        }
        QCOMPARE(point->GetSmtpServerAddress(), std::string("smtp.example.com:587"));
    }

    void authorizationIsStoredAtOkOnly() {
        Bench bench;
        const auto point = bench.office->GetSmtpDispatchPoint();
        SettingsDialog dialog(*bench.core, bench.services);
        dialog.show();
        auto* enabled = Child<QCheckBox>(dialog, "authorization");
        auto* configure = Child<QLabel>(dialog, "configure");
        QVERIFY(!configure->isEnabled());
        enabled->click();
        QVERIFY(point->IsAuthorizationEnabled());
        QVERIFY(configure->isEnabled());

        const auto edit = [&](bool accept) {
            emit configure->linkActivated("configure");
            auto* method = dialog.findChild<AuthorizationMethodDialog*>();
            QVERIFY(method != nullptr && method->isVisible());
            Child<QRadioButton>(*method, "popLogin")->click();
            Child<QLineEdit>(*method, "popServer")->setText("pop.example.com");
            Child<QLineEdit>(*method, "popUserName")->setText("joe");
            Child<QLineEdit>(*method, "popPassword")->setText("secret");
            if (accept) {
                method->accept();
            } else {
                method->reject();
            }
            QTRY_VERIFY(dialog.findChild<AuthorizationMethodDialog*>() == nullptr);
        };
        edit(false);
        QCOMPARE(point->GetAuthorizationMethod(), 1);
        QCOMPARE(point->GetPopServer(), std::string());
        edit(true);
        QCOMPARE(point->GetAuthorizationMethod(), 2);
        QCOMPARE(point->GetPopServer(), std::string("pop.example.com"));
        QCOMPARE(point->GetPopUserName(), std::string("joe"));
        QCOMPARE(point->GetPopPassword(), std::string("secret"));
        enabled->click();
        QVERIFY(!point->IsAuthorizationEnabled());
    }

    void smtpTestAgainstARealServer_data() {
        QTest::addColumn<bool>("protectAccount");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("passes")
            << true << ""
            << "secret" << true << "Your settings have PASSED the test."
            << QStringList{"Sending test message from joe@example.com to joe@example.com.",
                           "Ok, message sent."};
        // The login fails: the run ends before any letter, with the server's reason.
        QTest::newRow("wrong password, on line")
            << true << ""
            << "wrong" << true << "Your settings seem INCORRECT!" << QStringList{kRefusedLogin};
        QTest::newRow("wrong password, off line")
            << true << ""
            << "wrong" << false << "It seems that you have no connection to the Internet."
            << QStringList{kRefusedLogin};
        QTest::newRow("a typed address and no account")
            << false << "ann@example.net"
            << "secret" << true << "Your settings have PASSED the test."
            << QStringList{"Sending test message from ann@example.net to ann@example.net.",
                           "Ok, message sent."};
        QTest::newRow("a typed text that is no address")
            << true << "ann@example.net\r\nRSET"
            << "secret" << true << "'ann@example.net\r\nRSET' is not an email address."
            << QStringList{};
        QTest::newRow("no account to test")
            << false << ""
            << "secret" << true << "No addresses to verify." << QStringList{};
    }
    void smtpTestAgainstARealServer() {
        QFETCH(bool, protectAccount);
        QFETCH(QString, typed);
        QFETCH(QString, password);
        QFETCH(bool, online);
        QFETCH(QString, verdict);
        QFETCH(QStringList, lines);
        Bench bench;
        RunsEnded runsEnded;
        moxeltest::TempDir folder;
        moxeltest::AiosmtpdServer server(folder.Path());
        QVERIFY2(server.Port() != 0, "aiosmtpd did not start (is python3-aiosmtpd installed?)");
        if (protectAccount) {
            Protect(bench, LetterBoxKey("joe@example.com", "joe", "pop.example.com"));
        }
        const auto point = bench.office->GetSmtpDispatchPoint();
        point->SetSmtpServerAddress("127.0.0.1:" + std::to_string(server.Port()));
        point->SetAuthorizationEnabled(true);
        point->SetAuthorizationMethod(1);
        point->SetUserName("tester");
        point->SetPassword(password.toStdString());

        CVerifyGlobalSettingsDialog dialog(*bench.core, [online] { return online; });
        dialog.show();
        if (!typed.isEmpty()) {
            Child<QCheckBox>(dialog, "useAddress")->click();
            Child<QLineEdit>(dialog, "address")->setText(typed);
        }
        QSignalSpy ended(&dialog, &CVerifyGlobalSettingsDialog::TestEnded);
        Child<QAbstractButton>(dialog, "start")->click();
        QVERIFY(!dialog.IsRunning() || ended.wait(120000));
        const QStringList shown = Lines(dialog);
        QVERIFY2(Verdict(dialog) == verdict, qPrintable(shown.join("\n")));
        QCOMPARE(shown, lines);
        const bool sent = verdict.contains("PASSED");
        QCOMPARE(std::filesystem::exists(folder.Path() / "1.eml"), sent);
        if (sent) {
            QVERIFY(moxeltest::ReadWholeFile(folder.Path() / "1.eml")
                        .find("Subject: Testing Moxel SMTP settings.") != std::string::npos);
        }
    }

    void closingWhileTheTestRuns() {
        Bench bench;
        RunsEnded runsEnded;
        Protect(bench, LetterBoxKey("joe@example.com", "joe", "pop.example.com"));
        using moxeltest::ScriptedSmtpServer;
        // Accepts the connection and says nothing: the test waits for the greeting.
        auto silent = std::make_unique<ScriptedSmtpServer>(std::vector<ScriptedSmtpServer::Step>{
            ScriptedSmtpServer::Pause(std::chrono::seconds(120))});
        bench.office->GetSmtpDispatchPoint()->SetSmtpServerAddress("127.0.0.1:" +
                                                                   std::to_string(silent->Port()));

        QPointer<CVerifyGlobalSettingsDialog> first =
            new CVerifyGlobalSettingsDialog(*bench.core, [] { return true; });
        first->setAttribute(Qt::WA_DeleteOnClose);
        first->show();
        Child<QAbstractButton>(*first, "start")->click();
        QVERIFY(first->IsRunning());
        first->close();
        QTRY_VERIFY(first.isNull());
        // Closed without waiting: the run is still going on.
        QVERIFY(SettingsTestRun::Busy());

        // A new test waits for the earlier one, then runs.
        CVerifyGlobalSettingsDialog second(*bench.core, [] { return true; });
        second.show();
        QSignalSpy ended(&second, &CVerifyGlobalSettingsDialog::TestEnded);
        Child<QAbstractButton>(second, "start")->click();
        QCOMPARE(Lines(second), QStringList{"Waiting for the earlier test to end..."});
        silent.reset();  // the connection drops; the earlier run fails and ends
        QVERIFY(ended.wait(120000));
        QCOMPARE(Verdict(second), QString("Your settings seem INCORRECT!"));
        QVERIFY(!SettingsTestRun::Busy());
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_qtest.moc"
