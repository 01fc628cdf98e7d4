// The hidden main frame on a real post office in a private data folder: the balloons that core
// events raise, the tips and their mask, the menu, the tray or its fallback window, and the
// update notice. The on-line check, the file browser, the tray host and the update fetch are
// stand-ins.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>
#include <atomic>
#include <deque>
#include <latch>
#include <mutex>
#include <thread>

#include "core/Directories.h"
#include "core/MoxelCore.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"
#include "dispatch/DispatchPoint.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/CMainFrame.h"
#include "shell/app/FallbackWindow.h"
#include "shell/app/ShellWindows.h"
#include "shell/app/TrayPresence.h"
#include "shell/balloon/Balloon.h"
#include "shell/balloon/BalloonPresenter.h"
#include "shell/balloon/BalloonTexts.h"
#include "support/TestDataDir.h"

namespace {

class RecordingWindows : public ShellWindows {
public:
    void ShowSettings() override { calls << "settings"; }
    void ShowApprovedSenders() override { calls << "senders"; }
    void ShowHeldMail() override { calls << "held"; }
    void ShowHelp(const QString& topic) override { calls << "help " + topic; }
    void ShowAbout() override { calls << "about"; }
    QStringList calls;
};

QString PlainText(const QString& richText) {
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText().simplified();
}

// Runs `work` on `count` threads that start together, and waits for them.
void OnThreads(int count, const std::function<void()>& work) {
    std::latch start(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            work();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<moxeltest::ScopedDataDir> dataDir;
    std::unique_ptr<PopPostOffice> office;
    std::unique_ptr<MoxelCore> core;
    RecordingWindows windows;
    QList<QUrl> opened;
    // The on-line check's answers, one per check; "on line" once they run out.
    std::mutex answersMutex;
    std::deque<bool> onlineAnswers;
    std::atomic<bool> trayAvailable{false};
    std::atomic<int> fetches{0};
    QString updateAnswer;

    FrameOptions Options(std::chrono::milliseconds updateRetryWait = std::chrono::hours(12)) {
        FrameOptions options;
        options.isComputerOnline = [this] {
            std::lock_guard lock(answersMutex);
            if (onlineAnswers.empty()) {
                return true;
            }
            const bool online = onlineAnswers.front();
            onlineAnswers.pop_front();
            return online;
        };
        options.openUrl = [this](const QUrl& url) { opened.append(url); };
        options.isTrayAvailable = [this] { return trayAvailable.load(); };
        options.fetchUpdate = [this](const std::atomic<bool>&) {
            ++fetches;
            return updateAnswer.isNull() ? std::nullopt
                                         : std::optional<std::string>(updateAnswer.toStdString());
        };
        options.updateRetryWait = updateRetryWait;
        return options;
    }

    std::unique_ptr<CMainFrame> MakeFrame(
        std::chrono::milliseconds updateRetryWait = std::chrono::hours(12)) {
        return std::make_unique<CMainFrame>(*core, windows, Options(updateRetryWait));
    }

    void ProtectAccount() {
        office->RegisterPopAccount(LetterBoxKey("me@example.com", "me", "pop.example.com"),
                                   "secret");
    }
    void SetSmtpServer(const std::string& address) {
        office->GetDispatchPoint()->GetData().SetSmtpServerAddress(address);
    }
    static std::string Mask() { return GetAppProperties().GetValue("DisabledToolTips"); }

private slots:
    void init() {
        dataDir = std::make_unique<moxeltest::ScopedDataDir>();
        InitializeThreadData();
        DatabaseLayer::CreateAllTables();
        DatabaseLayer::LoadAppProperties();
        office = std::make_unique<PopPostOffice>();
        office->SetPersistent(true);
        core = std::make_unique<MoxelCore>(*office);
        windows.calls.clear();
        opened.clear();
        onlineAnswers.clear();
        trayAvailable = false;
        fetches = 0;
        updateAnswer = "no";
    }
    void cleanup() {
        core.reset();
        office.reset();
        ReleaseThreadData();
        dataDir.reset();
    }

    // A collection the user asked for ends with one "Finished Downloading Mail"; collections
    // from the timer, also two ending at once on two threads, add none.
    void ManualDownloadIsReportedOnce() {
        const auto frame = MakeFrame();
        QSignalSpy shown(&frame->Balloons(), &BalloonPresenter::Shown);
        core->GetEventReporter()->CollectingFinished();
        QCoreApplication::processEvents();
        QCOMPARE(shown.count(), 0);

        frame->DownloadNewMail();
        OnThreads(2, [this] { core->GetEventReporter()->CollectingFinished(); });
        QTRY_VERIFY(office->GetFinishedRunCount() >= 1);
        office->Stop();
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toString(), QString(BalloonTexts::kFinishedTitle));
        QCOMPARE(frame->Balloons().CurrentTitle(), QString(BalloonTexts::kFinishedTitle));

        core->GetEventReporter()->CollectingFinished();
        QCoreApplication::processEvents();
        QCOMPARE(shown.count(), 1);
    }

    // A failed download: the problem when on line, the no-Internet tip when off line and the
    // tip is enabled, nothing otherwise. A second failure on line follows each case, so that
    // "nothing" is seen as the problem balloon coming first.
    void FailedDownload_data() {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("firstTitle");
        QTest::newRow("on line") << true << "0" << BalloonTexts::kProblemTitle;
        QTest::newRow("on line, tip 2 off") << true << "2" << BalloonTexts::kProblemTitle;
        QTest::newRow("off line") << false << "0" << BalloonTexts::kNoInternetTitle;
        QTest::newRow("off line, tip 1 off") << false << "1" << BalloonTexts::kNoInternetTitle;
        QTest::newRow("off line, tip 2 off") << false << "2" << QString();
    }
    void FailedDownload() {
        QFETCH(bool, online);
        QFETCH(QString, mask);
        QFETCH(QString, firstTitle);
        GetAppProperties().SetValue("DisabledToolTips", mask.toStdString());
        onlineAnswers = {online, true};
        const auto frame = MakeFrame();
        QSignalSpy shown(&frame->Balloons(), &BalloonPresenter::Shown);
        OnThreads(1, [this] { core->GetEventReporter()->CollectingFailed("-ERR <b>boom</b>"); });
        OnThreads(1, [this] { core->GetEventReporter()->CollectingFailed("second"); });
        QTRY_VERIFY(shown.count() >= 1);
        const QString title = shown.at(0).at(0).toString();
        QCOMPARE(title, firstTitle.isEmpty() ? QString(BalloonTexts::kProblemTitle) : firstTitle);
        if (firstTitle.isEmpty()) {
            QTRY_COMPARE(shown.count(), 1);
            QVERIFY(PlainText(frame->Balloons().Widget().RichText()).contains("second"));
        } else if (firstTitle == BalloonTexts::kProblemTitle && shown.count() == 1) {
            QVERIFY(PlainText(frame->Balloons().Widget().RichText()).contains("-ERR <b>boom</b>"));
        }
    }

    // Failures raised on two threads at once both reach the user, one after the other.
    void FailuresFromTwoThreadsAtOnce() {
        const auto frame = MakeFrame();
        QSignalSpy shown(&frame->Balloons(), &BalloonPresenter::Shown);
        OnThreads(2, [this] { core->GetEventReporter()->CollectingFailed("failed"); });
        QTRY_COMPARE(shown.count(), 2);
        QVERIFY(frame->Balloons().IsVisible());
    }

    // A settings dialog is modal: a balloon still shows beside it.
    void BalloonWhileADialogIsModal() {
        const auto frame = MakeFrame();
        QSignalSpy shown(&frame->Balloons(), &BalloonPresenter::Shown);
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QVERIFY(QApplication::activeModalWidget() == &dialog);
        OnThreads(1, [this] { core->GetEventReporter()->CollectingFailed("failed"); });
        QTRY_COMPARE(shown.count(), 1);
        QVERIFY(frame->Balloons().IsVisible());
        dialog.accept();
    }

    // The incomplete-setup tip at start-up lists exactly what is missing.
    void IncompleteSetupTip_data() {
        QTest::addColumn<bool>("account");
        QTest::addColumn<QString>("smtpServer");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("accountsLine");
        QTest::addColumn<bool>("smtpLine");
        QTest::newRow("nothing set") << false << ""
                                     << "0" << true << true;
        QTest::newRow("no account") << false << "smtp.example.com"
                                    << "0" << true << false;
        QTest::newRow("no SMTP server") << true << ""
                                        << "0" << false << true;
        QTest::newRow("complete") << true << "smtp.example.com"
                                  << "0" << false << false;
        QTest::newRow("tip 2 off still shows") << false << ""
                                               << "2" << true << true;
        QTest::newRow("tip 1 off") << false << ""
                                   << "1" << false << false;
    }
    void IncompleteSetupTip() {
        QFETCH(bool, account);
        QFETCH(QString, smtpServer);
        QFETCH(QString, mask);
        QFETCH(bool, accountsLine);
        QFETCH(bool, smtpLine);
        if (account) {
            ProtectAccount();
        }
        SetSmtpServer(smtpServer.toStdString());
        GetAppProperties().SetValue("DisabledToolTips", mask.toStdString());
        const auto frame = MakeFrame();
        QVERIFY(frame->ShowStartupTips(false));
        QCOMPARE(frame->Balloons().IsVisible(), accountsLine || smtpLine);
        if (!frame->Balloons().IsVisible()) {
            return;
        }
        QCOMPARE(frame->Balloons().CurrentTitle(), QString(BalloonTexts::kConfigureTitle));
        QVERIFY(frame->Balloons().IsForced());
        const QString text = PlainText(frame->Balloons().Widget().RichText());
        QCOMPARE(text.contains(BalloonTexts::kMissingAccounts), accountsLine);
        QCOMPARE(text.contains(BalloonTexts::kMissingSmtpServer), smtpLine);
    }

    // "-uninstall": the reminder when accounts are protected, the end of the program otherwise.
    void UninstallReminder() {
        const auto frame = MakeFrame();
        QVERIFY(!frame->ShowStartupTips(true));
        QVERIFY(!frame->Balloons().IsVisible());
        ProtectAccount();
        QVERIFY(frame->ShowStartupTips(true));
        QCOMPARE(frame->Balloons().CurrentTitle(), QString(BalloonTexts::kUninstallingTitle));
        QVERIFY(frame->Balloons().IsForced());
    }

    // The balloons' links, clicked in the balloon.
    void MessageLinks_data() {
        QTest::addColumn<QString>("startMask");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("windowCalls");
        QTest::addColumn<bool>("logsOpened");
        QTest::addColumn<QString>("mask");
        QTest::newRow("settings") << "0"
                                  << "show-settings" << QStringList{"settings"} << false << "0";
        QTest::newRow("logs") << "0"
                              << "show-logs" << QStringList{} << true << "0";
        QTest::newRow("incomplete tip, tip 2 off before")
            << "2"
            << "disable-incomplete-settings-tip" << QStringList{} << false << "3";
        QTest::newRow("no-Internet tip")
            << "0"
            << "disable-no-internet-tip" << QStringList{} << false << "2";
        QTest::newRow("unknown") << "0"
                                 << "format-disk" << QStringList{} << false << "0";
    }
    void MessageLinks() {
        QFETCH(QString, startMask);
        QFETCH(QString, link);
        QFETCH(QStringList, windowCalls);
        QFETCH(bool, logsOpened);
        QFETCH(QString, mask);
        GetAppProperties().SetValue("DisabledToolTips", startMask.toStdString());
        const auto frame = MakeFrame();
        frame->Balloons().Show("t", "<a msg=\"" + link + "\">go</a>", 151, false);
        QLabel* label = frame->Balloons().Widget().findChild<QLabel*>();
        emit label->linkActivated("msg:" + link);
        QCOMPARE(windows.calls, windowCalls);
        QCOMPARE(opened.size(), logsOpened ? 1 : 0);
        if (logsOpened) {
            QCOMPARE(opened.at(0).toLocalFile(),
                     QString::fromStdString(GetLogDirectory().string()));
        }
        QCOMPARE(QString::fromStdString(Mask()), mask);
    }

    // The menu's entries in order, each doing its part; without a tray the same entries are
    // buttons of the fallback window; a tray host that comes (back) gets the icon again.
    void MenuAndFallbackWindow() {
        const auto frame = MakeFrame();
        QSignalSpy exits(frame.get(), &CMainFrame::ExitRequested);
        const QStringList expected{"&Settings...",  "&Approved Senders...",
                                   "&Held Mail...", "&Download New Mail",
                                   "View &Logs...", "&Help...",
                                   "A&bout...",     "E&xit"};
        QStringList texts;
        for (QAction* action : frame->MenuActions()) {
            texts << action->text();
        }
        QCOMPARE(texts, expected);

        QVERIFY(frame->Tray().Fallback().isVisible());
        QVERIFY(!frame->Tray().IsIconShown());
        const auto buttons = frame->Tray().Fallback().findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), expected.size());
        for (int i = 0; i < buttons.size(); ++i) {
            QCOMPARE(buttons[i]->text(), expected[i]);
            if (i != 3) {  // Download New Mail starts a collection: covered above.
                buttons[i]->click();
            }
        }
        QCOMPARE(windows.calls,
                 (QStringList{"settings", "senders", "held", "help index.htm", "about"}));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(exits.count(), 1);

        trayAvailable = true;
        frame->Tray().Poll();
        QVERIFY(frame->Tray().IsIconShown());
        QVERIFY(!frame->Tray().Fallback().isVisible());
        trayAvailable = false;
        frame->Tray().Poll();
        QVERIFY(frame->Tray().Fallback().isVisible());
        trayAvailable = true;
        frame->Tray().Poll();
        QVERIFY(frame->Tray().IsIconShown());
        frame->Stop();
        QVERIFY(!frame->Tray().IsIconShown());
    }

    // The update notice: "no" or a failed fetch shows nothing however often it is asked, a text
    // is shown once, and with "LiveUpdate" off nothing is asked.
    void UpdateNotice_data() {
        QTest::addColumn<QString>("liveUpdate");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no") << "true"
                            << "no" << false;
        QTest::newRow("no with line end") << "true"
                                          << "no\r\n"
                                          << false;
        QTest::newRow("failed fetch") << "true" << QString() << false;
        QTest::newRow("text") << "true"
                              << "Version <b>1.1</b> is out." << true;
        QTest::newRow("live update off") << "false"
                                         << "Version 1.1 is out." << false;
    }
    void UpdateNotice() {
        QFETCH(QString, liveUpdate);
        QFETCH(QString, answer);
        QFETCH(bool, shown);
        GetAppProperties().SetValue("LiveUpdate", liveUpdate.toStdString());
        updateAnswer = answer;
        const auto frame = MakeFrame(std::chrono::milliseconds(1));
        QSignalSpy balloons(&frame->Balloons(), &BalloonPresenter::Shown);
        if (liveUpdate == "false") {
            frame->PollUpdateWorker();
            QCOMPARE(fetches.load(), 0);
            QCOMPARE(balloons.count(), 0);
            return;
        }
        if (shown) {
            QTRY_VERIFY((frame->PollUpdateWorker(), balloons.count() == 1));
            QCOMPARE(balloons.at(0).at(0).toString(), QString(BalloonTexts::kNewVersionTitle));
            QVERIFY(
                PlainText(frame->Balloons().Widget().RichText()).contains("Version 1.1 is out."));
            frame->PollUpdateWorker();
            QCOMPARE(balloons.count(), 1);
            QCOMPARE(fetches.load(), 1);
        } else {
            // Several answers have been taken in full by now.
            QTRY_VERIFY(fetches >= 3);
            frame->PollUpdateWorker();
            QCOMPARE(balloons.count(), 0);
        }
    }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_qtest.moc"
