// The help window on our own pages: each topic opens in the one window, every link between the
// pages leads to a page (and anchor) that exists, every page can be reached from the contents,
// links elsewhere go to the desktop's browser, and nothing outside the program is loaded.
#include <QDesktopServices>
#include <QDir>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QtTest>
#include <map>
#include <set>
#include <vector>

#include "shell/help/HelpBrowser.h"
#include "shell/help/HelpWindow.h"
#include "shell/resources/ResourceIcons.h"

namespace {

// The links of a document: (href, true) for each anchor's target, and the names it defines as
// (name, false).
struct Anchors {
    QStringList hrefs;
    QSet<QString> names;
};

Anchors AnchorsOf(const QTextDocument& document) {
    Anchors anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (!format.isAnchor()) {
                continue;
            }
            if (!format.anchorHref().isEmpty() && !anchors.hrefs.contains(format.anchorHref())) {
                anchors.hrefs << format.anchorHref();
            }
            for (const auto& name : format.anchorNames()) {
                anchors.names << name;
            }
        }
    }
    return anchors;
}

QStringList AllPages() {
    LoadShellResources();
    return QDir(QStringLiteral(":/moxel/help")).entryList({QStringLiteral("*.htm")});
}

}  // namespace

// Records the addresses handed to the desktop's browser.
class DesktopBrowser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { delete HelpWindow::Instance(); }

    void opensTopic_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("shown");
        for (const char* topic :
             {"index.htm", "thunderbird.htm", "generic-installation-get.htm",
              "generic-installation-set.htm", "held-mail.htm", "settings.htm", "uninstall.htm"}) {
            QTest::newRow(topic) << topic << topic;
        }
        QTest::newRow("with an anchor") << "settings.htm#senders"
                                        << "settings.htm";
        QTest::newRow("unknown topic shows the contents") << "no-such-page.htm"
                                                          << "index.htm";
    }

    void opensTopic() {
        QFETCH(QString, topic);
        QFETCH(QString, shown);
        HelpWindow::Open(QStringLiteral("index.htm"));
        HelpWindow* first = HelpWindow::Instance();
        QVERIFY(first);
        HelpWindow::Open(topic);
        QCOMPARE(HelpWindow::Instance(), first);
        QVERIFY(first->isVisible());
        auto& browser = first->Browser();
        QCOMPARE(browser.source().path(), "/moxel/help/" + shown);
        QVERIFY(!browser.documentTitle().isEmpty());
        QVERIFY(browser.toPlainText().size() > 200);
    }

    void closedWindowIsMadeAgain() {
        HelpWindow::Open(QStringLiteral("index.htm"));
        HelpWindow::Instance()->close();
        QTRY_VERIFY(!HelpWindow::Instance());
        HelpWindow::Open(QStringLiteral("held-mail.htm"));
        QVERIFY(HelpWindow::Instance());
        QCOMPARE(HelpWindow::Instance()->Browser().source().path(), "/moxel/help/held-mail.htm");
    }

    // Walks every page: each link is followed by a click and must show the page it names, with
    // the anchor it names; and every page must be reachable from the contents.
    void everyLinkResolves() {
        const QStringList pages = AllPages();
        QVERIFY(pages.contains("index.htm"));
        QVERIFY(pages.size() >= 7);
        HelpWindow::Open(QStringLiteral("index.htm"));
        auto& browser = HelpWindow::Instance()->Browser();
        std::map<QString, std::set<QString>> linksTo;
        int links = 0;
        for (const auto& page : pages) {
            const QUrl pageUrl = HelpBrowser::TopicUrl(page);
            browser.setSource(pageUrl);
            const Anchors anchors = AnchorsOf(*browser.document());
            for (const auto& href : anchors.hrefs) {
                const QString where = page + " -> " + href;
                const QUrl target = pageUrl.resolved(QUrl(href));
                QVERIFY2(HelpBrowser::IsOwnContent(target), qPrintable(where));
                const QString file = QFileInfo(target.path()).fileName();
                QVERIFY2(pages.contains(file), qPrintable(where + ": no such page"));
                emit browser.anchorClicked(QUrl(href));
                QVERIFY2(browser.source().path() == target.path(), qPrintable(where));
                if (target.hasFragment()) {
                    QVERIFY2(AnchorsOf(*browser.document()).names.contains(target.fragment()),
                             qPrintable(where + ": no such anchor"));
                }
                linksTo[page].insert(file);
                ++links;
                browser.setSource(pageUrl);
            }
        }
        QVERIFY(links > 20);
        std::set<QString> reached{"index.htm"};
        for (std::vector<QString> next{"index.htm"}; !next.empty();) {
            const QString page = next.back();
            next.pop_back();
            for (const auto& target : linksTo[page]) {
                if (reached.insert(target).second) {
                    next.push_back(target);
                }
            }
        }
        for (const auto& page : pages) {
            QVERIFY2(reached.count(page), qPrintable(page + " cannot be reached from index.htm"));
        }
    }

    void otherLinksGoToTheDesktop_data() {
        QTest::addColumn<QUrl>("link");
        QTest::newRow("https") << QUrl("https://example.org/moxel");
        QTest::newRow("mailto") << QUrl("mailto:help@example.org");
    }

    void otherLinksGoToTheDesktop() {
        QFETCH(QUrl, link);
        DesktopBrowser desktop;
        QDesktopServices::setUrlHandler(link.scheme(), &desktop, "Open");
        HelpWindow::Open(QStringLiteral("thunderbird.htm"));
        auto& browser = HelpWindow::Instance()->Browser();
        emit browser.anchorClicked(link);
        QDesktopServices::unsetUrlHandler(link.scheme());
        QCOMPARE(desktop.opened, QList<QUrl>{link});
        QCOMPARE(browser.source().path(), "/moxel/help/thunderbird.htm");
    }

    void loadsNothingFromOutside() {
        QTemporaryFile local;
        QVERIFY(local.open());
        local.write("<html><body>not ours</body></html>");
        local.flush();
        HelpWindow::Open(QStringLiteral("index.htm"));
        auto& browser = HelpWindow::Instance()->Browser();
        QVERIFY(
            browser.loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(local.fileName()))
                .isNull());
        QVERIFY(browser.loadResource(QTextDocument::ImageResource, QUrl("http://127.0.0.1:9/x.png"))
                    .isNull());
        QVERIFY(!browser
                     .loadResource(QTextDocument::ImageResource,
                                   QUrl(ResourceIconPath(kIconTray).prepend("qrc")))
                     .isNull());
    }

    void resourceIcons() {
        for (const int idres :
             {kIconTray, kIconWarning, kIconInformation, kIconBullet, kIconClose}) {
            QVERIFY2(!ResourceIcon(idres).isNull(), qPrintable(QString::number(idres)));
        }
        QVERIFY(ResourceIcon(999).isNull());
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_qtest.moc"
