// SIGINT and SIGTERM end the tray application, and programs it starts (file and web browsers)
// can still be stopped by them.
#include <QProcess>
#include <QtTest>
#include <atomic>
#include <csignal>

#include "shell/app/QuitSignals.h"

namespace {

// The bits of `signal` in a /proc status mask ("SigBlk:\t0000000000004002").
bool MaskHas(const QString& status, const QString& field, int signal) {
    for (const QString& line : status.split('\n')) {
        if (line.startsWith(field + ":")) {
            const qulonglong mask = line.section(':', 1).trimmed().toULongLong(nullptr, 16);
            return (mask >> (signal - 1)) & 1U;
        }
    }
    return true;  // no such field: count it as the fault
}

}  // namespace

class QuitSignalsTest : public QObject {
    Q_OBJECT

private slots:
    void eachSignalAsksToQuit_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void eachSignalAsksToQuit() {
        QFETCH(int, signal);
        std::atomic<int> calls{0};
        QuitSignals quitSignals;
        quitSignals.Start([&calls] { ++calls; });
        std::raise(signal);
        QTRY_COMPARE(calls.load(), 1);
        std::raise(signal);
        QTRY_COMPARE(calls.load(), 2);
        quitSignals.Stop();
    }

    void startedProgramsCanStillBeStopped() {
        QuitSignals quitSignals;
        quitSignals.Start([] {});
        QProcess child;
        child.start("sh", {"-c", "cat /proc/self/status"});
        QVERIFY(child.waitForFinished(30000));
        const QString status = QString::fromLocal8Bit(child.readAllStandardOutput());
        for (const int signal : {SIGINT, SIGTERM}) {
            QVERIFY2(!MaskHas(status, "SigBlk", signal), "blocked in the child");
            QVERIFY2(!MaskHas(status, "SigIgn", signal), "ignored in the child");
        }
    }
};

QTEST_MAIN(QuitSignalsTest)
#include "quit_signals_qtest.moc"
