#include "shell/app/FallbackWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/resources/ResourceIcons.h"

FallbackWindow::FallbackWindow(const QList<QAction*>& actions, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Moxel"));
    setWindowIcon(ResourceIcon(kIconTray));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Moxel is running. This desktop has no system tray, so its menu is here."),
        this));
    for (QAction* action : actions) {
        auto* button = new QPushButton(action->text(), this);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        layout->addWidget(button);
    }
}

void FallbackWindow::closeEvent(QCloseEvent* event) {
    // Spontaneous closes come from the window manager; the program's own hide() is not one.
    if (event->spontaneous()) {
        event->ignore();
        showMinimized();
        return;
    }
    QWidget::closeEvent(event);
}
