#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class MoxelCore;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class SettingsTestRun;

// Tests the stored SMTP settings: one letter from each protected address (and from an address
// the user types) through the dispatch point, on a worker; shows one line per letter and the
// verdict. Closing it while the test runs leaves the run to end on its own. User-interface
// thread; the test's lines arrive from its worker.
class CVerifyGlobalSettingsDialog : public QDialog {
    Q_OBJECT

public:
    CVerifyGlobalSettingsDialog(MoxelCore& core, std::function<bool()> isComputerOnline,
                                QWidget* parent = nullptr);
    ~CVerifyGlobalSettingsDialog() override;

    // Starts the test (the "Start" button), once an earlier test has ended.
    void StartTest();
    bool IsRunning() const;

signals:
    void TestEnded();

private:
    void Begin();
    void AddLine(const QString& line);
    void ShowVerdict(const QString& verdict, const QString& failure);

    MoxelCore& core;
    std::function<bool()> isComputerOnline;
    QCheckBox* useAddress;
    QLineEdit* address;
    QPushButton* start;
    QPlainTextEdit* lines;
    QLabel* verdict;
    // Looks whether an earlier test has ended, while this one waits for it.
    QTimer* waitForEarlier;
    std::shared_ptr<SettingsTestRun> run;
};
