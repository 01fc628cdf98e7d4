#pragma once

#include <QPointer>
#include <QWidget>

class HelpBrowser;

// The help window: our own help pages with Back, Forward and Contents. There is at most one;
// Open shows it (making it on first use) at a topic. It deletes itself when closed. GUI thread
// only.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the help window at `topic`, a page name such as "index.htm" or
    // "generic-installation-get.htm" (an "#anchor" may follow); an unknown topic shows the
    // contents page.
    static void Open(const QString& topic);
    // The open help window, or null when none is open.
    static HelpWindow* Instance();

    HelpBrowser& Browser() { return *browser; }
    void ShowTopic(const QString& topic);

private:
    explicit HelpWindow(QWidget* parent = nullptr);

    HelpBrowser* browser;
    static QPointer<HelpWindow> instance;
};
