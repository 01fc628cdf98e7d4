#include "shell/help/HelpBrowser.h"

#include <QDebug>
#include <QDesktopServices>

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    // Links are followed by hand: QTextBrowser would otherwise try to show a web address itself.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::FollowLink);
}

QUrl HelpBrowser::TopicUrl(const QString& topic) {
    return QUrl(QStringLiteral("qrc:/moxel/help/") + topic);
}

bool HelpBrowser::IsOwnContent(const QUrl& url) {
    return url.scheme() == QLatin1String("qrc");
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl resolved = source().resolved(name);
    if (!IsOwnContent(resolved)) {
        qWarning() << "Help: not loading" << resolved.toDisplayString();
        return {};
    }
    return QTextBrowser::loadResource(type, resolved);
}

void HelpBrowser::FollowLink(const QUrl& link) {
    const QUrl target = source().resolved(link);
    if (IsOwnContent(target)) {
        setSource(target);
        return;
    }
    if (!QDesktopServices::openUrl(target)) {
        qWarning() << "Help: the desktop could not open" << target.toDisplayString();
    }
}
