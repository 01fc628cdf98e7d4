#include "shell/balloon/Balloon.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "shell/balloon/MarkupConverter.h"

namespace {
constexpr int kWidth = 380;
constexpr int kMargin = 8;
}  // namespace

Balloon::Balloon(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label(new QLabel(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Moxel"));
    setObjectName(QStringLiteral("MoxelBalloon"));
    setStyleSheet(QStringLiteral(
        "#MoxelBalloon { background: #ffffe1; border: 1px solid #767676; border-radius: 4px; }"));
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(label, &QLabel::linkActivated, this, &Balloon::OnLinkActivated);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(label);
    setFixedWidth(kWidth);
    hideTimer.setSingleShot(true);
    connect(&hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void Balloon::ShowMarkup(const QString& markup, const QRect& anchor) {
    label->setText(ConvertMarkupToRichText(markup));
    adjustSize();
    PlaceNear(anchor);
    show();
    hideTimer.start(autoHide);
}

QString Balloon::RichText() const {
    return label->text();
}

void Balloon::enterEvent(QEnterEvent* event) {
    hideTimer.stop();
    QWidget::enterEvent(event);
}

void Balloon::leaveEvent(QEvent* event) {
    if (isVisible()) {
        hideTimer.start(autoHide);
    }
    QWidget::leaveEvent(event);
}

void Balloon::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Balloon::OnLinkActivated(const QString& link) {
    const QString message = link.mid(static_cast<int>(qstrlen(kMessageLinkScheme)));
    if (!link.startsWith(QLatin1String(kMessageLinkScheme)) || message == "close") {
        hide();
        return;
    }
    emit MessageLinkActivated(message);
}

void Balloon::PlaceNear(const QRect& anchor) {
    QScreen* screen = anchor.isValid() ? QGuiApplication::screenAt(anchor.center()) : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    QPoint place(area.right() - width() - kMargin, area.top() + kMargin);
    if (anchor.isValid()) {
        // Above a bottom panel's icon, below a top panel's, kept on the screen.
        place.setX(qBound(area.left(), anchor.center().x() - width() / 2, area.right() - width()));
        place.setY(anchor.center().y() > area.center().y() ? anchor.top() - height() - kMargin
                                                           : anchor.bottom() + kMargin);
        place.setY(qBound(area.top(), place.y(), area.bottom() - height()));
    }
    move(place);
}
