#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <memory>
#include <thread>

#include "core/MoxelCore.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/Schema.h"
#include "database/ThreadDatabase.h"
#include "database/tables/LetterDataTable.h"
#include "postoffice/PopPostOffice.h"
#include "shell/held/HeldMailWindow.h"
#include "support/FixedClock.h"
#include "support/TestDataDir.h"

namespace pt = boost::posix_time;

// The window over a real database: a post office with two accounts whose held letters are
// stored as a collection stores them.
class HeldMailWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ListsTheHeldLettersOfAllAccounts();
    void PreviewShowsTheTextAsPlainText();
    void ReleaseApproveAndDeleteActOnTheStoredLetters();
    void ALetterPrunedMeanwhileGivesAClearMessage();
    void RefreshesWhenACollectionEnds();

private:
    std::int64_t Hold(const LetterBoxKey& key, const std::string& text, int minutesAgo);
    int InboxCount(const LetterBoxKey& key);
    QTableWidget* Table() { return window->findChild<QTableWidget*>("heldTable"); }
    QString Cell(int row, int column) { return Table()->item(row, column)->text(); }
    void Click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
    // Selects the row whose sender column is `sender`.
    void Select(const QString& sender);

    const LetterBoxKey first{"me@example.com", "me", "pop.example.com"};
    const LetterBoxKey second{"other@example.org", "other", "pop.example.org"};
    const pt::ptime now{pt::time_from_string("2026-03-01 12:00:00")};
    std::unique_ptr<moxeltest::ScopedDataDir> dataDir;
    std::unique_ptr<PopPostOffice> office;
    std::unique_ptr<MoxelCore> core;
    std::unique_ptr<HeldMailWindow> window;
};

void HeldMailWindowTest::init() {
    dataDir = std::make_unique<moxeltest::ScopedDataDir>();
    InitializeThreadData();
    DatabaseLayer::CreateAllTables();
    DatabaseLayer::LoadAppProperties();
    office = std::make_unique<PopPostOffice>();
    office->SetPersistent(true);
    office->SetClock(std::make_shared<moxeltest::FixedClock>(now));
    office->RegisterPopAccount(first, "pw");
    office->RegisterPopAccount(second, "pw");
    Hold(first,
         "From: Pal <pal@example.net>\nSubject: =?utf-8?q?Caf=C3=A9?=\n\n"
         "<html><b>bold</b><img src=\"http://tracker.example/x.png\"></html>\n",
         5);
    Hold(second, "From: pal@example.net\nSubject: Second\n\nText\n", 3 * 60);
    Hold(second, "From: stranger@example.com\nSubject: Hello\n\nText\n", 3 * 24 * 60);
    core = std::make_unique<MoxelCore>(*office);
    window = std::make_unique<HeldMailWindow>(*core);
}

void HeldMailWindowTest::cleanup() {
    window.reset();
    core.reset();
    office.reset();
    ReleaseThreadData();
    dataDir.reset();
}

std::int64_t HeldMailWindowTest::Hold(const LetterBoxKey& key, const std::string& text,
                                      int minutesAgo) {
    const auto pending = office->FindDeliveryPoint(key)->GetPendingLetters();
    LetterBoxLock lock(pending);
    Letter letter;
    letter.StoreText(text);
    letter.SetTimeRetrieved(now - pt::minutes(minutesAgo));
    pending->MoveLetterHere(letter);
    return letter.GetId();
}

int HeldMailWindowTest::InboxCount(const LetterBoxKey& key) {
    return office->FindDeliveryPoint(key)->GetInbox()->GetElementCount();
}

void HeldMailWindowTest::Select(const QString& sender) {
    for (int row = 0; row < Table()->rowCount(); ++row) {
        if (Cell(row, 0) == sender) {
            Table()->selectRow(row);
            return;
        }
    }
    QFAIL(qPrintable("no row from " + sender));
}

void HeldMailWindowTest::ListsTheHeldLettersOfAllAccounts() {
    QCOMPARE(Table()->rowCount(), 3);
    QCOMPARE(Cell(0, 0), QString("pal@example.net"));
    QCOMPARE(Cell(0, 1), QString::fromUtf8("Caf\xc3\xa9"));
    QCOMPARE(Cell(0, 2), QString::fromStdString(first.ToString()));
    QCOMPARE(Cell(0, 3), QString("5 min"));
    QCOMPARE(Cell(1, 2), QString::fromStdString(second.ToString()));
    QCOMPARE(Cell(1, 3), QString("3 h"));
    QCOMPARE(Cell(2, 3), QString("3 days"));
    QVERIFY(!window->findChild<QPushButton*>("releaseButton")->isEnabled());
}

void HeldMailWindowTest::PreviewShowsTheTextAsPlainText() {
    Table()->selectRow(0);
    const QString shown = window->findChild<QPlainTextEdit*>("preview")->toPlainText();
    QVERIFY2(shown.contains("<img src=\"http://tracker.example/x.png\">"), qPrintable(shown));
    QVERIFY(shown.startsWith("From: Pal <pal@example.net>\n"));
    QVERIFY(window->findChild<QPushButton*>("releaseButton")->isEnabled());
}

void HeldMailWindowTest::ReleaseApproveAndDeleteActOnTheStoredLetters() {
    Select("stranger@example.com");
    Click("releaseButton");
    QCOMPARE(InboxCount(second), 1);
    QCOMPARE(Table()->rowCount(), 2);

    // Both letters of the sender, in two accounts, go to their inboxes.
    Select("pal@example.net");
    Click("approveButton");
    QVERIFY(office->GetApprovedSenders().Contains("pal@example.net"));
    QCOMPARE(InboxCount(first), 1);
    QCOMPARE(InboxCount(second), 2);
    QCOMPARE(Table()->rowCount(), 0);
    QVERIFY(window->findChild<QLabel*>("statusLine")->text().contains("2 letter(s)"));

    Hold(first, "From: spam@example.biz\nSubject: Offer\n\nText\n", 1);
    window->Refresh();
    Select("spam@example.biz");
    Click("deleteButton");
    QCOMPARE(Table()->rowCount(), 0);
    QCOMPARE(InboxCount(first), 1);
    QCOMPARE(DatabaseLayer::ExecuteScalar("SELECT COUNT (*) FROM Letter WHERE sender = "
                                          "'spam@example.biz';"),
             0);
}

void HeldMailWindowTest::ALetterPrunedMeanwhileGivesAClearMessage() {
    Select("stranger@example.com");
    const int row = Table()->selectionModel()->selectedRows().front().row();
    const auto id = Table()->item(row, 0)->data(Qt::UserRole).toLongLong();
    DatabaseLayer::LetterDataTable().Delete(id);
    Click("releaseButton");
    QVERIFY2(window->findChild<QLabel*>("statusLine")->text().contains("No held letter"),
             qPrintable(window->findChild<QLabel*>("statusLine")->text()));
    QCOMPARE(Table()->rowCount(), 2);
    QCOMPARE(InboxCount(first) + InboxCount(second), 0);
}

void HeldMailWindowTest::RefreshesWhenACollectionEnds() {
    Hold(first, "From: new@example.net\nSubject: New\n\nText\n", 0);
    QCOMPARE(Table()->rowCount(), 3);
    // Raised on another thread, as the collection thread raises it.
    std::thread collection([this] { core->GetEventReporter()->CollectingFinished(); });
    collection.join();
    QTRY_COMPARE(Table()->rowCount(), 4);
}

QTEST_MAIN(HeldMailWindowTest)
#include "held_mail_window_qtest.moc"
