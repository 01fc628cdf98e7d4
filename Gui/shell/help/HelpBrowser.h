#pragma once

#include <QTextBrowser>

// The help window's page view. It follows links between our own pages (compiled into the
// program under ":/moxel/help") and hands every other link to the desktop's browser; it never
// loads anything from outside the program's resources, so a page cannot pull in remote or local
// files. GUI thread only.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    // The resource URL of help topic `topic` ("index.htm" gives "qrc:/moxel/help/index.htm").
    static QUrl TopicUrl(const QString& topic);
    // True when `url` names one of our pages or resources (scheme "qrc").
    static bool IsOwnContent(const QUrl& url);

    // Loads only our own resources; anything else yields no data.
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void FollowLink(const QUrl& link);
};
