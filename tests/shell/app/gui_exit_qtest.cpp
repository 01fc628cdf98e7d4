// The tray application on the real engine in a private data folder: Exit while a collection
// waits for a silent POP3 server ends the program within a few seconds, and the next start finds
// the account again.
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <chrono>

#include "core/MoxelCore.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"
#include "peers/ScriptedPopServer.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/CGuiApp.h"
#include "shell/app/CMainFrame.h"
#include "shell/app/ShellWindows.h"
#include "support/TestDataDir.h"

using namespace std::chrono_literals;
using moxeltest::ScriptedPopServer;

namespace {

class NoWindows : public ShellWindows {
public:
    void ShowSettings() override {}
    void ShowApprovedSenders() override {}
    void ShowHeldMail() override {}
    void ShowHelp(const QString&) override {}
    void ShowAbout() override {}
};

FrameOptions Offline() {
    FrameOptions options;
    options.isComputerOnline = [] { return false; };
    options.openUrl = [](const QUrl&) {};
    options.isTrayAvailable = [] { return false; };
    return options;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Settings of the data folder before the program starts there.
void PrepareDataFolder() {
    InitializeThreadData();
    DatabaseLayer::CreateAllTables();
    DatabaseLayer::LoadAppProperties();
    GetAppProperties().SetValue("PopPort", std::to_string(FreePort()));
    GetAppProperties().SetValue("LiveUpdate", "false");
    ReleaseThreadData();
}

}  // namespace

class GuiExitTest : public QObject {
    Q_OBJECT

private slots:
    void ExitWhileCollectingEndsSoonAndKeepsTheAccount() {
        moxeltest::ScopedDataDir dataDir;
        PrepareDataFolder();
        ScriptedPopServer server(
            {ScriptedPopServer::Pause(120s), ScriptedPopServer::Send("+OK\r\n")});
        const LetterBoxKey key("me@example.com", "me",
                               "127.0.0.1:" + std::to_string(server.Port()));
        NoWindows windows;
        {
            CGuiApp app("", {}, Offline());
            QCOMPARE(app.Start(windows), Application::StartResult::Started);
            QVERIFY(app.ShouldRun());
            app.GetApplication().GetPostOffice()->RegisterPopAccount(key, "secret");
            app.GetFrame()->DownloadNewMail();
            QVERIFY(server.WaitForConnection(30s));

            QSignalSpy exits(app.GetFrame(), &CMainFrame::ExitRequested);
            app.GetFrame()->MenuActions().last()->trigger();
            QCOMPARE(exits.count(), 1);
            const auto start = std::chrono::steady_clock::now();
            app.Shutdown();
            const auto took = std::chrono::steady_clock::now() - start;
            QVERIFY2(
                took < 10s,
                qPrintable(
                    QString("exit took %1 ms")
                        .arg(std::chrono::duration_cast<std::chrono::milliseconds>(took).count())));
            QVERIFY(app.GetFrame() == nullptr);
        }
        CGuiApp again("", {}, Offline());
        QCOMPARE(again.Start(windows), Application::StartResult::Started);
        const auto accounts = again.GetApplication().GetCore()->GetRegisteredAccounts();
        QCOMPARE(accounts.size(), size_t(1));
        QCOMPARE(accounts.front().ToString(), key.ToString());
        again.Shutdown();
    }
};

QTEST_MAIN(GuiExitTest)
#include "gui_exit_qtest.moc"
