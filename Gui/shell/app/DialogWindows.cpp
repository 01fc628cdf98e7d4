#include "shell/app/DialogWindows.h"

#include "shell/dialogs/about/AboutDialog.h"
#include "shell/dialogs/senders/ApprovedSendersDialog.h"
#include "shell/dialogs/settings/SettingsDialog.h"
#include "shell/held/HeldMailWindow.h"
#include "shell/help/HelpWindow.h"
#include "shell/wizard/DialogServices.h"

DialogWindows::~DialogWindows() {
    CloseAll();
}

void DialogWindows::Attach(MoxelCore& coreIn) {
    core = &coreIn;
}

void DialogWindows::CloseAll() {
    // Deleted now rather than later: they hold the core, which stops next.
    for (QPointer<QWidget>* slot : {&settings, &senders, &held, &about}) {
        delete slot->data();
    }
    delete HelpWindow::Instance();
    core = nullptr;
}

template <typename Make>
void DialogWindows::ShowOnce(QPointer<QWidget>& slot, Make make) {
    if (!slot) {
        slot = make();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
}

void DialogWindows::ShowSettings() {
    if (core == nullptr) {
        return;
    }
    ShowOnce(settings, [this] {
        DialogServices services = DialogServices::Default();
        services.openHelp = [](const QString& topic) { HelpWindow::Open(topic); };
        return new SettingsDialog(*core, std::move(services));
    });
}

void DialogWindows::ShowApprovedSenders() {
    if (core != nullptr) {
        ShowOnce(senders, [this] { return new ApprovedSendersDialog(*core); });
    }
}

void DialogWindows::ShowHeldMail() {
    if (core != nullptr) {
        ShowOnce(held, [this] { return new HeldMailWindow(*core); });
    }
}

void DialogWindows::ShowHelp(const QString& topic) {
    HelpWindow::Open(topic);
}

void DialogWindows::ShowAbout() {
    ShowOnce(about, [] { return new AboutDialog(); });
}
