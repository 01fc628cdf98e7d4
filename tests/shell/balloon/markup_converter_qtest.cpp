// The balloons' mark-up as Qt shows it: every balloon text the program composes, and texts that
// try to break out of the mark-up.
#include <QRegularExpression>
#include <QTextDocument>
#include <QtTest>

#include "shell/balloon/BalloonTexts.h"
#include "shell/balloon/MarkupConverter.h"

namespace {

QString PlainText(const QString& richText) {
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText().simplified();
}

// The targets of the links in `richText`, in order.
QStringList Links(const QString& richText) {
    static const QRegularExpression href(QStringLiteral("<a href=\"([^\"]*)\">"));
    QStringList links;
    for (auto it = href.globalMatch(richText); it.hasNext();) {
        links.append(it.next().captured(1));
    }
    return links;
}

QStringList Images(const QString& richText) {
    static const QRegularExpression src(QStringLiteral("<img src=\"([^\"]*)\""));
    QStringList images;
    for (auto it = src.globalMatch(richText); it.hasNext();) {
        images.append(it.next().captured(1));
    }
    return images;
}

QString Icon(int id) {
    return QStringLiteral(":/moxel/icons/%1.png").arg(id);
}

}  // namespace

class MarkupConverterTest : public QObject {
    Q_OBJECT

private slots:
    // Each balloon text as the frame composes it: no tag of ours may leak through as text, its
    // words and links must survive, and the icons come from our resources.
    void BalloonTextsRender_data() {
        using namespace BalloonTexts;
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("images");
        const QString close = "msg:close";
        QTest::newRow("finished") << Frame(kIconInformation, kFinishedTitle, kFinishedBody)
                                  << QStringList{"Finished Downloading Mail",
                                                 "Moxel has finished downloading and processing "
                                                 "messages from your POP account(s).",
                                                 "View application's event logs"}
                                  << QStringList{close, "msg:show-logs"}
                                  << QStringList{Icon(157), Icon(kIconClose)};
        QTest::newRow("problem")
            << Frame(kIconWarning, kProblemTitle, ProblemBody("-ERR [AUTH] Authentication failed."))
            << QStringList{"The following error occurred while trying to download mail from a "
                           "POP account:",
                           "-ERR [AUTH] Authentication failed.", "Possible reasons:",
                           "Invalid POP account settings",
                           "View the list of accounts protected by Moxel",
                           "Network error or timeout",
                           "Check your network settings or contact your network administrator"}
            << QStringList{close, "msg:show-settings", "msg:show-logs"}
            << QStringList{Icon(151), Icon(kIconClose), Icon(kIconBullet), Icon(kIconBullet)};
        QTest::newRow("no internet")
            << Frame(kIconWarning, kNoInternetTitle, kNoInternetBody)
            << QStringList{"It appears that you are offline.",
                           "Please note that while you are offline Moxel is not able to download "
                           "new mail.",
                           "Do not show this tip again"}
            << QStringList{close, "msg:show-logs", "msg:disable-no-internet-tip"}
            << QStringList{Icon(151), Icon(kIconClose)};
        QTest::newRow("configure, both missing")
            << Frame(kIconWarning, kConfigureTitle, ConfigureBody(true, true))
            << QStringList{"Complete your setup to enable anti-spam protection.", kMissingAccounts,
                           kMissingSmtpServer, "Open the Settings dialog"}
            << QStringList{close, "msg:show-settings", "msg:disable-incomplete-settings-tip"}
            << QStringList{Icon(151), Icon(kIconClose), Icon(kIconBullet), Icon(kIconBullet)};
        QTest::newRow("uninstalling")
            << Frame(kIconWarning, kUninstallingTitle, UninstallingBody())
            << QStringList{"One or more email accounts are protected by Moxel.",
                           "Select an account you want to remove protection for and click Remove.",
                           "Follow the steps of the Wizard.",
                           "After you repeat it for every account, exit Moxel to continue the "
                           "uninstallation process.",
                           "IF YOU DO NOT REMOVE THE ACCOUNTS YOU MAY LOSE SOME OF YOUR MESSAGES!"}
            << QStringList{close, "msg:show-settings"}
            << QStringList{Icon(151),         Icon(kIconClose),  Icon(kIconBullet),
                           Icon(kIconBullet), Icon(kIconBullet), Icon(kIconBullet)};
    }
    void BalloonTextsRender() {
        QFETCH(QString, markup);
        QFETCH(QStringList, words);
        QFETCH(QStringList, links);
        QFETCH(QStringList, images);
        const QString rich = ConvertMarkupToRichText(markup);
        const QString plain = PlainText(rich);
        QVERIFY2(!rich.contains("&lt;"), qPrintable(rich));
        for (const QString& word : words) {
            QVERIFY2(plain.contains(word), qPrintable(word + " in: " + plain));
        }
        QCOMPARE(Links(rich), links);
        QCOMPARE(Images(rich), images);
    }

    // The look the mark-up asks for reaches Qt: emphasis, colour, rules, alignment, table cells.
    void StylesRender_data() {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bold") << "<b>x</b>"
                              << "<b>x</b>";
        QTest::newRow("italic") << "<i>x</i>"
                                << "<i>x</i>";
        QTest::newRow("red") << "<font color=red>x</font>"
                             << "<font color=\"red\">x</font>";
        QTest::newRow("rule") << "<hr color=black>"
                              << "background-color:black";
        QTest::newRow("centre") << "<center>x</center>"
                                << "<div align=\"center\">x</div>";
        QTest::newRow("right") << "<right>x</right>"
                               << "<div align=\"right\">x</div>";
        QTest::newRow("cell") << "<table cellpadding=2 border=0 width=100%><tr><td valign=top "
                                 "colspan=2 width=50>x</td></tr></table>"
                              << "<table cellpadding=\"2\" border=\"0\" width=\"100%\"><tr><td "
                                 "valign=\"top\" colspan=\"2\" width=\"50\">x</td></tr></table>";
        QTest::newRow("icon size") << "<icon idres=151 width=16 height=16>"
                                   << "<img src=\":/moxel/icons/151.png\" width=\"16\" "
                                      "height=\"16\"/>";
    }
    void StylesRender() {
        QFETCH(QString, markup);
        QFETCH(QString, expected);
        const QString rich = ConvertMarkupToRichText(markup);
        QVERIFY2(rich.contains(expected), qPrintable(rich));
    }

    // Texts from outside (an error text, an update answer) that are not our mark-up: shown as
    // text, never as a working tag or link.
    void BadMarkupIsText_data() {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("unknown tag") << "<script>alert(1)</script>"
                                     << "<script>alert(1)</script>" << QStringList{};
        QTest::newRow("tag without end") << "a <b bold"
                                         << "a <b bold" << QStringList{};
        QTest::newRow("stray closing tag") << "x</table>y"
                                           << "x</table>y" << QStringList{};
        QTest::newRow("web link") << "<a href=\"http://evil.example/\">go</a>"
                                  << "<a href=\"http://evil.example/\">go</a>" << QStringList{};
        QTest::newRow("link name with quote") << "<a msg=x\"onclick>go</a>"
                                              << "<a msg=x\"onclick>go</a>" << QStringList{};
        QTest::newRow("unclosed bold ends with the text") << "<b>bold and <i>more"
                                                          << "bold and more" << QStringList{};
        QTest::newRow("image from a file") << "<img src=/etc/passwd>"
                                           << "<img src=/etc/passwd>" << QStringList{};
        QTest::newRow("icon path") << "<icon idres=../x>"
                                   << "<icon idres=../x>" << QStringList{};
        QTest::newRow("entities kept, stray ampersand escaped") << "a &lt;b&gt; & c"
                                                                << "a <b> & c" << QStringList{};
        QTest::newRow("message link kept") << "<a msg=\"show-logs\">logs</a> &"
                                           << "logs &" << QStringList{"msg:show-logs"};
    }
    void BadMarkupIsText() {
        QFETCH(QString, markup);
        QFETCH(QString, shownText);
        QFETCH(QStringList, links);
        const QString rich = ConvertMarkupToRichText(markup);
        QCOMPARE(PlainText(rich), shownText);
        QCOMPARE(Links(rich), links);
        QVERIFY2(!rich.contains("<script") && !rich.contains("<img src=\"/"), qPrintable(rich));
    }

    // A 100 KB error text: cut in the balloon body, and the whole mark-up stays bounded.
    void LongErrorTextIsShortened() {
        const QString error = QString(100 * 1024, QChar('x'));
        const QString body = BalloonTexts::ProblemBody(error);
        QVERIFY(body.size() < 4096);
        QString shown = body;
        shown.remove(QChar(0x200B));
        QVERIFY(shown.contains(QString(BalloonTexts::kMaxErrorLength, QChar('x')) + "..."));
        QVERIFY(!shown.contains(QString(BalloonTexts::kMaxErrorLength + 1, QChar('x'))));
        // The long run can be broken to fit the balloon's width.
        QVERIFY(!body.contains(QString(41, QChar('x'))));
        QVERIFY(ConvertMarkupToRichText(QString(200 * 1024, QChar('<'))).size() <
                kMaxMarkupLength * 5);
    }

    // An error text is text, even when it looks like our mark-up.
    void ErrorTextCannotAddLinks() {
        const QString rich = ConvertMarkupToRichText(
            BalloonTexts::ProblemBody("<a msg=\"disable-no-internet-tip\">x</a> %2%"));
        QCOMPARE(Links(rich), (QStringList{"msg:show-settings", "msg:show-logs"}));
        QVERIFY(PlainText(rich).contains("<a msg=\"disable-no-internet-tip\">x</a> %2%"));
    }
};

QTEST_MAIN(MarkupConverterTest)
#include "markup_converter_qtest.moc"
