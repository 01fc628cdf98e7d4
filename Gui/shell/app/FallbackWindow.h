#pragma once

#include <QList>
#include <QWidget>

class QAction;

// Stands in for the tray icon on desktops without a system tray (GNOME without an extension):
// a small window with one button per tray menu entry, in the menu's order. Closing it only hides
// it; "Exit" ends the program. User-interface thread only.
class FallbackWindow : public QWidget {
    Q_OBJECT

public:
    explicit FallbackWindow(const QList<QAction*>& actions, QWidget* parent = nullptr);
};
