#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <functional>

class Balloon;

// Shows one balloon at a time with the force rule: while a balloon shown with the force flag is
// visible, a balloon without it is dropped; in every other case the new balloon replaces the
// visible one. User-interface thread only.
class BalloonPresenter : public QObject {
    Q_OBJECT

public:
    // `anchor` tells where the tray icon is (an empty rectangle when unknown).
    explicit BalloonPresenter(std::function<QRect()> anchor, QObject* parent = nullptr);
    ~BalloonPresenter() override;

    // Shows `body` (mark-up) under `title` with the icon resource `icon`; false when dropped.
    bool Show(const QString& title, const QString& body, int icon, bool force);
    void Hide();

    bool IsVisible() const;
    // The title of the balloon shown last (also after it was hidden).
    QString CurrentTitle() const { return title; }
    bool IsForced() const { return forced; }
    Balloon& Widget() { return *balloon; }

signals:
    // A message link of the balloon was clicked: "show-settings", "show-logs", ...
    void MessageLinkActivated(const QString& message);
    // A balloon was shown (not dropped).
    void Shown(const QString& title);

private:
    std::function<QRect()> anchor;
    Balloon* balloon;
    QString title;
    bool forced = false;
};
