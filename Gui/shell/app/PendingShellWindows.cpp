#include "shell/app/PendingShellWindows.h"

#include <QMessageBox>

namespace {

void SayPending(const QString& window) {
    QMessageBox::information(nullptr, QStringLiteral("Moxel"),
                             QStringLiteral("The %1 window is not part of this build yet.\n"
                                            "Use \"moxel --help\" for the command line.")
                                 .arg(window));
}

}  // namespace

void PendingShellWindows::ShowSettings() {
    SayPending(QStringLiteral("Settings"));
}
void PendingShellWindows::ShowApprovedSenders() {
    SayPending(QStringLiteral("Approved Senders"));
}
void PendingShellWindows::ShowHeldMail() {
    SayPending(QStringLiteral("Held Mail"));
}
void PendingShellWindows::ShowHelp(const QString& topic) {
    SayPending(QStringLiteral("Help (%1)").arg(topic));
}
void PendingShellWindows::ShowAbout() {
    SayPending(QStringLiteral("About"));
}
