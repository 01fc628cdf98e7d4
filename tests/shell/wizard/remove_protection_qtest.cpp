// The Remove Protection dialog on a Thunderbird account protected through the integration model:
// with and without the mail program's download, and with the account gone from the program.
#include <QAbstractButton>
#include <QLabel>
#include <QtTest>
#include <thread>

#include "integration/ProfileFiles.h"
#include "shell/integration/FileRegistry.h"
#include "shell/integration/Integration.h"
#include "shell/integration/Thunderbird.h"
#include "shell/wizard/RemoveProtectionDialog.h"
#include "shell/wizard/ShellTestBench.h"

using namespace moxeltest::shell;
using namespace moxeltest::integration;

namespace {

const std::string kAccount1 = PopAccountPrefs("1", "pop.example.com", "joe", "joe@example.com");
const std::string kAccount2 = PopAccountPrefs("2", "pop.example.net", "ann", "ann@example.net");
const std::string kPrefs = kPrefsHeader +
                           "user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n" +
                           kAccount1 + kAccount2;
// What is left when the user deleted the protected account in Thunderbird.
const std::string kPrefsWithoutAccount1 =
    kPrefsHeader + "user_pref(\"mail.accountmanager.accounts\", \"account2\");\n" + kAccount2;

const QString kReverted =
    "Moxel has successfully reverted your email program settings to their original values. "
    "\n\nYou may have to restart your email program for the changes to take effect.";
const QString kByHand =
    "Moxel wasn't able to automatically disable support for this account in your email "
    "program.\n\nYou need to revert your settings manually.\n\nClick Help if you need more "
    "information.";
const QString kNotDownloaded =
    "You have not downloaded messages using your email program.\n\nTHE EMAILS WILL BE "
    "LOST!\n\nDo you want to remove the account from Moxel anyway?";

}  // namespace

class RemoveProtectionTest : public QObject {
    Q_OBJECT

private slots:
    void removal_data() {
        QTest::addColumn<bool>("downloaded");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("accountGone");
        QTest::addColumn<QString>("told");
        QTest::newRow("mail downloaded") << true << QList<bool>{} << false << kReverted;
        QTest::newRow("not downloaded: No, then Yes")
            << false << QList<bool>{false, true} << false << kReverted;
        QTest::newRow("account deleted in the mail program")
            << true << QList<bool>{} << true << kByHand;
    }
    void removal() {
        QFETCH(bool, downloaded);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, accountGone);
        QFETCH(QString, told);
        Bench bench;
        WriteProfilesIni(bench.thunderbirdDir.Path(), {{"default", "abcd.default"}});
        const auto prefs = bench.thunderbirdDir.Path() / "abcd.default" / "prefs.js";
        WriteText(prefs, kPrefs);
        EmailClientIntegration::Thunderbird thunderbird(
            std::make_shared<EmailClientIntegration::FileRegistry>(),
            {bench.thunderbirdDir.Path()});
        const auto integration = EmailClientIntegration::Integrate(
            *thunderbird.EnumerateAccounts().front(), "joe@example.com", *bench.core, 110);
        EmailClientIntegration::FinishIntegration(integration, *bench.core);
        const LetterBoxKey key = integration.key;
        if (accountGone) {
            WriteText(prefs, kPrefsWithoutAccount1);
        }

        RemoveProtectionDialog dialog(*bench.core, key, bench.services);
        QVERIFY(dialog.Start());
        dialog.show();
        // Downloading has stopped; the mail is still there for the mail program.
        QVERIFY(bench.core->GetRegisteredAccounts().empty());
        QVERIFY(bench.core->IsAccountRegistered(key));
        auto* heading = dialog.findChild<QLabel*>("heading");
        QCOMPARE(heading->text(), QString("Download Mail"));
        if (downloaded) {
            std::thread([&] { bench.core->GetEventReporter()->MailProgramLoggedOut(key); }).join();
            QTRY_COMPARE(heading->text(), QString("Success"));
        }
        bench.asker->answers.assign(answers.begin(), answers.end());
        auto* finish = dialog.findChild<QAbstractButton*>("finish");
        for (int i = 0; i < std::max<int>(1, answers.size()); ++i) {
            QVERIFY(dialog.isVisible());
            // Until the user agrees, the account stays in Moxel.
            QVERIFY(bench.core->IsAccountRegistered(key));
            finish->click();
        }
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(bench.asker->questions,
                 QStringList(QList<QString>(answers.size(), kNotDownloaded)));
        QVERIFY(!bench.core->IsAccountRegistered(key));
        QCOMPARE(bench.asker->Texts(), QStringList{told});
        QCOMPARE(bench.asker->offeredHelp.size(), qsizetype(accountGone ? 1 : 0));
        QCOMPARE(ReadText(prefs), accountGone ? kPrefsWithoutAccount1 : kPrefs);
    }

    // The program exits while the dialog waits: the account is not removed (its mail was not
    // fetched) but downloaded again, and the mail program keeps pointing at Moxel.
    void dialogGoneBeforeFinishKeepsTheAccountProtected() {
        Bench bench;
        const LetterBoxKey key = LetterBoxKey::Parse("joe@example.com/joe/pop.example.com");
        bench.core->RegisterPlaceholderAccount(key);
        bench.core->TurnPlaceholderDeliveryPointIntoPopPoint(key);
        {
            RemoveProtectionDialog dialog(*bench.core, key, bench.services);
            QVERIFY(dialog.Start());
            QVERIFY(bench.core->GetRegisteredAccounts().empty());
        }
        QCOMPARE(bench.core->GetRegisteredAccounts(), std::vector<LetterBoxKey>{key});
        QVERIFY(bench.asker->questions.isEmpty());
    }
};

QTEST_MAIN(RemoveProtectionTest)
#include "remove_protection_qtest.moc"
