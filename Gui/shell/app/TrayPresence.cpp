#include "shell/app/TrayPresence.h"

#include <QMenu>

#include "shell/app/FallbackWindow.h"
#include "shell/resources/ResourceIcons.h"

TrayPresence::TrayPresence(const QList<QAction*>& actions, std::function<bool()> available,
                           QObject* parent)
    : QObject(parent),
      trayAvailable(std::move(available)),
      menu(std::make_unique<QMenu>()),
      fallback(std::make_unique<FallbackWindow>(actions)) {
    menu->addActions(actions);
    icon.setIcon(ResourceIcon(kIconTray));
    icon.setToolTip(QStringLiteral("Moxel"));
    icon.setContextMenu(menu.get());
    connect(
        &icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger) {
                menu->popup(IconGeometry().isValid() ? IconGeometry().center() : QCursor::pos());
            }
        });
    poll.setInterval(kPollMilliseconds);
    connect(&poll, &QTimer::timeout, this, &TrayPresence::Poll);
}

TrayPresence::~TrayPresence() {
    Remove();
}

void TrayPresence::Start() {
    Poll();
    poll.start();
}

void TrayPresence::Remove() {
    poll.stop();
    icon.hide();
    fallback->hide();
    trayWasAvailable.reset();
}

void TrayPresence::Poll() {
    const bool available = trayAvailable();
    if (trayWasAvailable == available) {
        return;
    }
    trayWasAvailable = available;
    if (available) {
        // A new tray host knows nothing of icons added to the old one.
        icon.hide();
        icon.show();
        fallback->hide();
    } else {
        icon.hide();
        fallback->show();
    }
}

QRect TrayPresence::IconGeometry() const {
    return icon.isVisible() ? icon.geometry() : QRect();
}
