#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/MoxelCoreEventHandler.h"
#include "postoffice/HeldMail.h"

class MoxelCore;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

// "Held Mail": the letters of every account held until their senders are approved (sender,
// subject, account, age), a preview of the selected letter's text, and Release, Approve sender
// and Delete. The preview is plain text: a letter's HTML is shown as it stands, nothing remote
// is ever loaded. The list is read again when a collection ends.
//
// Lives on the user interface thread, which has its database connection; core events arrive on
// the collection thread and only queue a refresh to this thread.
class HeldMailWindow : public QWidget, private MoxelCoreEventHandler {
    Q_OBJECT

public:
    // How long an action waits for boxes a collection or a mail program holds.
    static constexpr std::chrono::seconds kBoxWait{5};

    explicit HeldMailWindow(MoxelCore& core, QWidget* parent = nullptr);
    ~HeldMailWindow() override;

public slots:
    // Reads the held letters again, keeping the selection where the letter is still held.
    void Refresh();

private slots:
    void ShowPreview();
    void ReleaseSelected();
    void ApproveSelected();
    void DeleteSelected();

private:
    // Collection thread.
    void CollectingFinished(const ThreadId& thread) override;

    std::optional<std::int64_t> SelectedId() const;
    // Runs `action` on the selected letter; its text, or the failure's, goes to the status line;
    // then the list is read again.
    void Act(const std::function<QString(std::int64_t)>& action);
    void UpdateButtons();

    MoxelCore& core;
    HeldMail held;
    QTableWidget* table;
    QPlainTextEdit* preview;
    QPushButton* releaseButton;
    QPushButton* approveButton;
    QPushButton* deleteButton;
    QLabel* statusLine;
};
