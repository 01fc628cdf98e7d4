#pragma once

#include <QAction>
#include <QList>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "core/MoxelCoreEventHandler.h"
#include "shell/app/FrameOptions.h"

class BalloonPresenter;
class MoxelCore;
class OnlineCheckRunner;
class ShellWindows;
class TrayPresence;
class UpdateWorker;

// The hidden main window: owns the tray icon (or the fallback window), the menu and the
// balloons, and turns core events into balloons. Registered with the core's event reporter from
// construction until Stop. Core events arrive on other threads: the handlers compose there and
// post the showing to the user-interface thread, which owns everything else here.
class CMainFrame : public QWidget, public MoxelCoreEventHandler {
    Q_OBJECT

public:
    // The frame's timer that looks at the update worker (hourly).
    static constexpr int kUpdatePollMilliseconds = 3600000;

    // Adds the tray icon, registers with the reporter, starts the update poll and, when
    // "LiveUpdate" is true, the update worker.
    CMainFrame(MoxelCore& core, ShellWindows& windows, FrameOptions options);
    // Stop, if not done yet.
    ~CMainFrame() override;

    // The exit order: stops the update worker, leaves the reporter, removes the tray icon.
    // Safe to call more than once.
    void Stop();

    // The tips of the start-up: with "-uninstall" the uninstall reminder when accounts are
    // protected (false when none are: the program should end), otherwise the incomplete-setup
    // tip when it is enabled and the setup is incomplete. Returns true to keep running.
    bool ShowStartupTips(bool uninstallMode);

    // The tray menu's entries, in order.
    const QList<QAction*>& MenuActions() const { return actions; }
    // Asks for one collection now and remembers that the user asked.
    void DownloadNewMail();
    // Carries out a balloon's message link ("show-settings", "show-logs", ...).
    void OnMessageLink(const QString& message);
    // Looks at the update worker and shows its text once (timer 2 calls it).
    void PollUpdateWorker();

    BalloonPresenter& Balloons() { return *balloons; }
    TrayPresence& Tray() { return *tray; }

    void CollectingFinished(const ThreadId& thread) override;
    void CollectingFailed(const ThreadId& thread, const std::string& error) override;

signals:
    // "E&xit" was chosen.
    void ExitRequested();

private:
    void BuildActions();
    void ViewLogs();
    // Shows a balloon later on the user-interface thread (any thread may call it).
    void PostBalloon(QString title, QString body, int icon, bool force);
    // Called on the on-line check's thread.
    void OnOnlineCheckAnswer(bool online, const std::string& problemBody);
    bool IsTipEnabled(std::int64_t tip);
    void DisableTip(std::int64_t tip);

    MoxelCore& core;
    ShellWindows& windows;
    FrameOptions options;
    QList<QAction*> actions;
    std::unique_ptr<BalloonPresenter> balloons;
    std::unique_ptr<TrayPresence> tray;
    std::unique_ptr<UpdateWorker> updateWorker;
    QTimer updatePoll;
    // Set by "&Download New Mail" on the user-interface thread, cleared by the collection thread
    // that raises the next CollectingFinished.
    std::atomic<bool> manualDownload{false};
    std::unique_ptr<OnlineCheckRunner> onlineChecks;
    bool stopped = false;
};
