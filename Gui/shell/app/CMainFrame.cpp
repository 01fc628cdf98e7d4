#include "shell/app/CMainFrame.h"

#include <QUrl>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/AppPropertyCollection.h"
#include "dispatch/DispatchPoint.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/GuiThread.h"
#include "shell/app/OnlineCheckRunner.h"
#include "shell/app/ShellWindows.h"
#include "shell/app/TrayPresence.h"
#include "shell/balloon/BalloonPresenter.h"
#include "shell/balloon/BalloonTexts.h"

namespace {

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

void LogFailure(const char* what, const Exception& error) {
    qWarning("%s: %s", what, error.GetDescription().c_str());
}

}  // namespace

CMainFrame::CMainFrame(MoxelCore& coreIn, ShellWindows& windowsIn, FrameOptions optionsIn)
    : core(coreIn), windows(windowsIn), options(std::move(optionsIn)) {
    setWindowTitle(QStringLiteral("Moxel"));
    BuildActions();
    balloons = std::make_unique<BalloonPresenter>([this] { return tray->IconGeometry(); });
    connect(balloons.get(), &BalloonPresenter::MessageLinkActivated, this,
            &CMainFrame::OnMessageLink);
    tray = std::make_unique<TrayPresence>(actions, options.isTrayAvailable);
    tray->Start();
    onlineChecks = std::make_unique<OnlineCheckRunner>(
        options.isComputerOnline, [this](bool online, const std::string& problemBody) {
            OnOnlineCheckAnswer(online, problemBody);
        });
    core.AddHandler(this);
    updatePoll.setInterval(kUpdatePollMilliseconds);
    connect(&updatePoll, &QTimer::timeout, this, &CMainFrame::PollUpdateWorker);
    updatePoll.start();
    bool liveUpdate = false;
    try {
        liveUpdate = GetAppProperties().GetLiveUpdate();
    } catch (const Exception& error) {
        LogFailure("Could not read LiveUpdate", error);
    }
    if (liveUpdate && options.fetchUpdate) {
        updateWorker = std::make_unique<UpdateWorker>(options.fetchUpdate, options.updateRetryWait);
        updateWorker->Start();
    }
}

CMainFrame::~CMainFrame() {
    Stop();
}

void CMainFrame::Stop() {
    if (stopped) {
        return;
    }
    stopped = true;
    updatePoll.stop();
    if (updateWorker) {
        updateWorker->Stop();
    }
    // Once removed, no collection thread is inside a handler any more, so no new check starts.
    core.GetEventReporter()->RemoveHandler(this);
    onlineChecks.reset();
    tray->Remove();
    balloons->Hide();
}

void CMainFrame::BuildActions() {
    const std::pair<const char*, std::function<void()>> entries[] = {
        {"&Settings...", [this] { windows.ShowSettings(); }},
        {"&Approved Senders...", [this] { windows.ShowApprovedSenders(); }},
        {"&Held Mail...", [this] { windows.ShowHeldMail(); }},
        {"&Download New Mail", [this] { DownloadNewMail(); }},
        {"View &Logs...", [this] { ViewLogs(); }},
        {"&Help...", [this] { windows.ShowHelp(QStringLiteral("index.htm")); }},
        {"A&bout...", [this] { windows.ShowAbout(); }},
        {"E&xit", [this] { emit ExitRequested(); }},
    };
    for (const auto& [text, run] : entries) {
        auto* action = new QAction(Text(text), this);
        connect(action, &QAction::triggered, this, run);
        actions.append(action);
    }
}

bool CMainFrame::ShowStartupTips(bool uninstallMode) {
    try {
        const bool noAccounts = core.GetRegisteredAccounts().empty();
        if (uninstallMode) {
            if (noAccounts) {
                return false;
            }
            balloons->Show(Text(BalloonTexts::kUninstallingTitle), BalloonTexts::UninstallingBody(),
                           BalloonTexts::kIconWarning, true);
            return true;
        }
        if (!IsTipEnabled(AppPropertyCollection::kIncompleteSettingsToolTip)) {
            return true;
        }
        const bool noSmtpServer =
            core.GetPostOffice().GetDispatchPoint()->GetData().GetSmtpServerAddress().empty();
        if (noAccounts || noSmtpServer) {
            balloons->Show(Text(BalloonTexts::kConfigureTitle),
                           BalloonTexts::ConfigureBody(noAccounts, noSmtpServer),
                           BalloonTexts::kIconWarning, true);
        }
    } catch (const Exception& error) {
        LogFailure("Could not look at the settings for the start-up tips", error);
    }
    return true;
}

void CMainFrame::DownloadNewMail() {
    // Set before asking, so that a run that ends at once still finds it.
    manualDownload = true;
    try {
        core.GetPostOffice().CollectNow();
    } catch (const Exception& error) {
        manualDownload = false;
        LogFailure("Could not start a collection", error);
    }
}

void CMainFrame::ViewLogs() {
    options.openUrl(QUrl::fromLocalFile(QString::fromStdString(GetLogDirectory().string())));
}

void CMainFrame::OnMessageLink(const QString& message) {
    if (message == QLatin1String("show-settings")) {
        windows.ShowSettings();
    } else if (message == QLatin1String("show-logs")) {
        ViewLogs();
    } else if (message == QLatin1String("disable-incomplete-settings-tip")) {
        DisableTip(AppPropertyCollection::kIncompleteSettingsToolTip);
        balloons->Hide();
    } else if (message == QLatin1String("disable-no-internet-tip")) {
        DisableTip(AppPropertyCollection::kNoInternetConnectionToolTip);
        balloons->Hide();
    } else {
        qWarning("Unknown balloon link \"%s\"", qPrintable(message.left(64)));
    }
}

void CMainFrame::PollUpdateWorker() {
    if (!updateWorker) {
        return;
    }
    if (const std::optional<QString> text = updateWorker->TakeNotification()) {
        balloons->Show(Text(BalloonTexts::kNewVersionTitle), *text, BalloonTexts::kIconWarning,
                       false);
    }
}

void CMainFrame::CollectingFinished(const ThreadId&) {
    if (manualDownload.exchange(false)) {
        PostBalloon(Text(BalloonTexts::kFinishedTitle), Text(BalloonTexts::kFinishedBody),
                    BalloonTexts::kIconInformation, false);
    }
}

void CMainFrame::CollectingFailed(const ThreadId&, const std::string& error) {
    onlineChecks->Run(BalloonTexts::ProblemBody(QString::fromStdString(error)).toStdString());
}

void CMainFrame::OnOnlineCheckAnswer(bool online, const std::string& problemBody) {
    if (online) {
        PostBalloon(Text(BalloonTexts::kProblemTitle), QString::fromStdString(problemBody),
                    BalloonTexts::kIconWarning, false);
        return;
    }
    // The tip's setting is read on the user-interface thread, which has its database connection.
    PostToGuiThread(this, [this] {
        if (IsTipEnabled(AppPropertyCollection::kNoInternetConnectionToolTip)) {
            balloons->Show(Text(BalloonTexts::kNoInternetTitle),
                           Text(BalloonTexts::kNoInternetBody), BalloonTexts::kIconWarning, false);
        }
    });
}

void CMainFrame::PostBalloon(QString title, QString body, int icon, bool force) {
    PostToGuiThread(this, [this, title = std::move(title), body = std::move(body), icon, force] {
        balloons->Show(title, body, icon, force);
    });
}

bool CMainFrame::IsTipEnabled(std::int64_t tip) {
    try {
        return GetAppProperties().IsToolTipEnabled(tip);
    } catch (const Exception& error) {
        LogFailure("Could not read DisabledToolTips", error);
        return true;
    }
}

void CMainFrame::DisableTip(std::int64_t tip) {
    try {
        GetAppProperties().SetToolTipEnabled(tip, false);
    } catch (const Exception& error) {
        LogFailure("Could not write DisabledToolTips", error);
    }
}
