#include "shell/app/ScreenshotTour.h"

#include <QDir>
#include <QMenu>
#include <QPixmap>

#include "shell/app/CMainFrame.h"
#include "shell/app/FallbackWindow.h"
#include "shell/app/TrayPresence.h"
#include "shell/balloon/Balloon.h"
#include "shell/balloon/BalloonPresenter.h"
#include "shell/balloon/BalloonTexts.h"

namespace {

void Save(QWidget& widget, const QString& folder, const QString& name) {
    widget.adjustSize();
    const QString path = QDir(folder).filePath(name + ".png");
    if (!widget.grab().save(path)) {
        qWarning("Could not save %s", qPrintable(path));
    }
}

}  // namespace

void TakeScreenshots(CMainFrame& frame, const QString& folder) {
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
    emit frame.ExitRequested();
}
