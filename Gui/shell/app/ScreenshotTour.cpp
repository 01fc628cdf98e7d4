#include "shell/app/ScreenshotTour.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>

#include "shell/app/CMainFrame.h"
#include "shell/app/FallbackWindow.h"
#include "shell/app/TrayPresence.h"
#include "shell/balloon/Balloon.h"
#include "shell/balloon/BalloonPresenter.h"
#include "shell/balloon/BalloonTexts.h"
#include "shell/dialogs/about/AboutDialog.h"
#include "shell/dialogs/senders/ApprovedSendersDialog.h"
#include "shell/dialogs/settings/CVerifyGlobalSettingsDialog.h"
#include "shell/dialogs/settings/SettingsDialog.h"
#include "shell/held/HeldMailWindow.h"
#include "shell/help/HelpWindow.h"
#include "shell/wizard/AccountProtectionWizard.h"

namespace {

void Grab(QWidget& widget, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name + ".png");
    if (!widget.grab().save(path)) {
        qWarning("Could not save %s", qPrintable(path));
    }
}

// Menus and balloons at the size their content asks for.
void Save(QWidget& widget, const QString& folder, const QString& name) {
    widget.adjustSize();
    Grab(widget, folder, name);
}

// A window lays itself out (a wizard makes its first page) only once shown.
void SaveShown(QWidget& widget, const QString& folder, const QString& name) {
    widget.show();
    QCoreApplication::processEvents();
    Grab(widget, folder, name);
    widget.hide();
}

void SaveWindows(MoxelCore& core, const QString& folder) {
    SettingsDialog settings(core);
    auto* tabs = settings.findChild<QTabWidget*>("tabs");
    for (int page = 0; tabs != nullptr && page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        SaveShown(settings, folder, QStringLiteral("settings-%1").arg(page + 1));
    }
    // Not started: the picture shows the dialog as it opens.
    CVerifyGlobalSettingsDialog smtpTest(core, [] { return true; });
    SaveShown(smtpTest, folder, "smtp-test");
    AccountProtectionWizard wizard(core);
    SaveShown(wizard, folder, "wizard");
    ApprovedSendersDialog senders(core);
    SaveShown(senders, folder, "approved-senders");
    HeldMailWindow held(core);
    SaveShown(held, folder, "held-mail");
    AboutDialog about;
    SaveShown(about, folder, "about");
    HelpWindow::Open(QStringLiteral("index.htm"));
    if (HelpWindow* help = HelpWindow::Instance()) {
        help->resize(700, 500);
        SaveShown(*help, folder, "help");
        delete help;
    }
}

}  // namespace

void TakeScreenshots(CMainFrame& frame, MoxelCore& core, const QString& folder) {
    using namespace BalloonTexts;
    QDir().mkpath(folder);
    QMenu menu;
    menu.addActions(frame.MenuActions());
    Save(menu, folder, "tray-menu");
    Save(frame.Tray().Fallback(), folder, "fallback-window");
    const struct {
        const char* name;
        QString title;
        QString body;
        int icon;
    } balloons[] = {
        {"balloon-finished", kFinishedTitle, kFinishedBody, kIconInformation},
        {"balloon-problem", kProblemTitle,
         ProblemBody("-ERR [AUTH] Authentication failed. <unknown tag> & a 100 KB tail " +
                     QString(100 * 1024, QChar('x'))),
         kIconWarning},
        {"balloon-no-internet", kNoInternetTitle, kNoInternetBody, kIconWarning},
        {"balloon-configure", kConfigureTitle, ConfigureBody(true, true), kIconWarning},
        {"balloon-uninstalling", kUninstallingTitle, UninstallingBody(), kIconWarning},
        {"balloon-new-version", kNewVersionTitle,
         "Moxel <b>1.1</b> is available.<br>\n<a msg=\"show-settings\">Settings</a>", kIconWarning},
    };
    for (const auto& balloon : balloons) {
        frame.Balloons().Show(balloon.title, balloon.body, balloon.icon, true);
        Save(frame.Balloons().Widget(), folder, balloon.name);
    }
    frame.Balloons().Hide();
    SaveWindows(core, folder);
    emit frame.ExitRequested();
}
