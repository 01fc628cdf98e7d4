#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

class FallbackWindow;
class QAction;
class QMenu;

// The program's presence on the desktop: the tray icon ("Moxel", icon 130) with the menu, or,
// while no system tray is available, the fallback window with the same entries. Looks at the
// tray every kPollMilliseconds: when a tray host appears (again, after a panel restart) the icon
// is added anew. User-interface thread only.
class TrayPresence : public QObject {
    Q_OBJECT

public:
    static constexpr int kPollMilliseconds = 3000;

    // `trayAvailable` answers whether a system tray exists now.
    TrayPresence(const QList<QAction*>& actions, std::function<bool()> trayAvailable,
                 QObject* parent = nullptr);
    ~TrayPresence() override;

    // Shows the icon or the fallback window, and starts watching the tray.
    void Start();
    // Removes the icon and the window and stops watching.
    void Remove();
    // Looks at the tray now (the poll timer calls it).
    void Poll();

    // Where the icon is on the screen; empty when unknown.
    QRect IconGeometry() const;
    bool IsIconShown() const { return icon.isVisible(); }
    FallbackWindow& Fallback() { return *fallback; }

private:
    std::function<bool()> trayAvailable;
    std::unique_ptr<QMenu> menu;
    QSystemTrayIcon icon;
    std::unique_ptr<FallbackWindow> fallback;
    QTimer poll;
    // Whether the tray was there at the last look; empty before the first.
    std::optional<bool> trayWasAvailable;
};
