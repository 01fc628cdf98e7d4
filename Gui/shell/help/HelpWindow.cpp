#include "shell/help/HelpWindow.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/help/HelpBrowser.h"
#include "shell/resources/ResourceIcons.h"

namespace {

const QString kContentsTopic = QStringLiteral("index.htm");

}  // namespace

QPointer<HelpWindow> HelpWindow::instance;

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent), browser(new HelpBrowser(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Moxel Help"));
    setWindowIcon(ResourceIcon(kIconTray));

    auto* back = new QPushButton(tr("&Back"), this);
    auto* forward = new QPushButton(tr("&Forward"), this);
    auto* contents = new QPushButton(tr("&Contents"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, this, [this] { ShowTopic(kContentsTopic); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser);
    resize(640, 560);
}

void HelpWindow::Open(const QString& topic) {
    LoadShellResources();
    if (!instance) {
        instance = new HelpWindow;
    }
    instance->ShowTopic(topic);
    instance->show();
    instance->raise();
    instance->activateWindow();
}

HelpWindow* HelpWindow::Instance() {
    return instance.data();
}

void HelpWindow::ShowTopic(const QString& topic) {
    QUrl url = HelpBrowser::TopicUrl(topic);
    if (!QFile::exists(QLatin1Char(':') + url.path())) {
        url = HelpBrowser::TopicUrl(kContentsTopic);
    }
    browser->setSource(url);
}
