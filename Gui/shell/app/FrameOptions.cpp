#include "shell/app/FrameOptions.h"

#include <QDesktopServices>
#include <QSystemTrayIcon>

#include "core/Identity.h"
#include "dispatch/OnlineCheck.h"
#include "shell/update/UpdateAddress.h"
#include "shell/update/UpdateFetch.h"

FrameOptions FrameOptions::Defaults() {
    FrameOptions options;
    options.isComputerOnline = [] { return IsComputerOnline(); };
    options.openUrl = [](const QUrl& url) {
        if (!QDesktopServices::openUrl(url)) {
            qWarning("Could not open %s", qPrintable(url.toString()));
        }
    };
    options.isTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    options.fetchUpdate = [](const std::atomic<bool>& stopRequested) {
        const int build =
            QString::fromStdString(Identity::GetBuildNumber(Identity::kBuildRevision)).toInt();
        return FetchUpdateAnswer(UpdateServiceAddress(), build, stopRequested);
    };
    return options;
}
