// One balloon at a time: the force rule, the close button, the message links and the
// hiding after some seconds.
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include "shell/balloon/Balloon.h"
#include "shell/balloon/BalloonPresenter.h"

namespace {

struct Request {
    QString title;
    bool force;
};

}  // namespace

Q_DECLARE_METATYPE(QList<Request>)

class BalloonPresenterTest : public QObject {
    Q_OBJECT

private slots:
    void ForceRule_data() {
        QTest::addColumn<QList<Request>>("requests");
        QTest::addColumn<QString>("visibleTitle");
        QTest::addColumn<int>("shownCount");
        QTest::newRow("normal replaces normal")
            << QList<Request>{{"one", false}, {"two", false}} << "two" << 2;
        QTest::newRow("forced replaces normal")
            << QList<Request>{{"one", false}, {"forced", true}} << "forced" << 2;
        QTest::newRow("forced replaces forced")
            << QList<Request>{{"forced", true}, {"again", true}} << "again" << 2;
        QList<Request> tenAfterForced{{"forced", true}};
        for (int i = 0; i < 10; ++i) {
            tenAfterForced.append({QString("normal %1").arg(i), false});
        }
        QTest::newRow("forced, then ten normal") << tenAfterForced << "forced" << 1;
    }
    void ForceRule() {
        QFETCH(QList<Request>, requests);
        QFETCH(QString, visibleTitle);
        QFETCH(int, shownCount);
        BalloonPresenter balloons({});
        QSignalSpy shown(&balloons, &BalloonPresenter::Shown);
        for (const Request& request : requests) {
            balloons.Show(request.title, "body", 151, request.force);
        }
        QVERIFY(balloons.IsVisible());
        QCOMPARE(balloons.CurrentTitle(), visibleTitle);
        QCOMPARE(shown.count(), shownCount);
    }

    // Once the forced balloon is closed, a normal one shows again.
    void ClosedForcedBalloonLetsNormalOnesThrough() {
        BalloonPresenter balloons({});
        balloons.Show("forced", "body", 151, true);
        QLabel* label = balloons.Widget().findChild<QLabel*>();
        QVERIFY(label != nullptr);
        emit label->linkActivated("msg:close");
        QVERIFY(!balloons.IsVisible());
        QVERIFY(balloons.Show("normal", "body", 157, false));
        QCOMPARE(balloons.CurrentTitle(), QString("normal"));
    }

    // The links of the mark-up reach the frame by their message name; the balloon stays up.
    void MessageLinksAreReported() {
        BalloonPresenter balloons({});
        QSignalSpy links(&balloons, &BalloonPresenter::MessageLinkActivated);
        balloons.Show("t", "<a msg=\"show-logs\">logs</a>", 157, false);
        QLabel* label = balloons.Widget().findChild<QLabel*>();
        QVERIFY(label->text().contains("href=\"msg:show-logs\""));
        emit label->linkActivated("msg:show-logs");
        QCOMPARE(links.count(), 1);
        QCOMPARE(links.at(0).at(0).toString(), QString("show-logs"));
        QVERIFY(balloons.IsVisible());
    }

    void BalloonHidesItself() {
        BalloonPresenter balloons({});
        balloons.Widget().SetAutoHideMilliseconds(200);
        balloons.Show("t", "body", 157, false);
        QVERIFY(balloons.IsVisible());
        QTRY_VERIFY(!balloons.IsVisible());
    }
};

QTEST_MAIN(BalloonPresenterTest)
#include "balloon_presenter_qtest.moc"
