#pragma once

#include <QList>
#include <QWidget>

class QAction;

// Stands in for the tray icon on desktops without a system tray (GNOME without an extension):
// a small window with one button per tray menu entry, in the menu's order. Closing it minimises
// it, since without a tray nothing else could bring it back; "Exit" ends the program.
// User-interface thread only.
class FallbackWindow : public QWidget {
    Q_OBJECT

public:
    explicit FallbackWindow(const QList<QAction*>& actions, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};
