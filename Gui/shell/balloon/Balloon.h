#pragma once

#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;

// A small frameless popup near the tray icon (or in the top-right corner of the screen, where
// desktops show notifications) that shows one balloon's mark-up. Its close button and Escape
// hide it; it hides itself kAutoHideMilliseconds after it was shown, but not while the pointer
// is over it (the time starts again when the pointer leaves). User-interface thread only.
class Balloon : public QWidget {
    Q_OBJECT

public:
    static constexpr int kAutoHideMilliseconds = 15000;

    explicit Balloon(QWidget* parent = nullptr);

    // Shows `markup` (the whole balloon: title row and body) beside `anchor` (the tray icon's
    // place; an empty rectangle means the screen corner).
    void ShowMarkup(const QString& markup, const QRect& anchor);
    // How long a balloon stays up when the pointer is not over it (kAutoHideMilliseconds).
    void SetAutoHideMilliseconds(int milliseconds) { autoHide = milliseconds; }
    // The rich text the label shows.
    QString RichText() const;

signals:
    // A message link other than the close button was clicked: the name after "msg:".
    void MessageLinkActivated(const QString& message);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnLinkActivated(const QString& link);
    void PlaceNear(const QRect& anchor);

    QLabel* label;
    QTimer hideTimer;
    int autoHide = kAutoHideMilliseconds;
};
