#pragma once

#include <QPointer>
#include <QWidget>

#include "shell/app/ShellWindows.h"

class MoxelCore;

// The real windows of the menu. Each is opened once and brought to the front when asked for
// again. They all work on the core, so the program attaches the core once it runs and closes
// them (CloseAll) before the core stops. User-interface thread only.
class DialogWindows : public ShellWindows {
public:
    DialogWindows() = default;
    DialogWindows(const DialogWindows&) = delete;
    DialogWindows& operator=(const DialogWindows&) = delete;
    ~DialogWindows() override;

    void Attach(MoxelCore& core);
    void CloseAll();

    void ShowSettings() override;
    void ShowApprovedSenders() override;
    void ShowHeldMail() override;
    void ShowHelp(const QString& topic) override;
    void ShowAbout() override;

private:
    // Shows the window held in `slot`, making it with `make` when there is none.
    template <typename Make>
    void ShowOnce(QPointer<QWidget>& slot, Make make);

    MoxelCore* core = nullptr;  // not owned; set between Attach and CloseAll
    QPointer<QWidget> settings;
    QPointer<QWidget> senders;
    QPointer<QWidget> held;
    QPointer<QWidget> about;
};
