#pragma once

#include <QDialog>
#include <memory>

class MoxelCore;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class SenderList;
class SenderListEdit;

// "Approved Senders": edits the approved senders of the trusted sender list on a working copy;
// OK stores every add and remove at once, Cancel stores nothing. Reads and writes the database
// through the GUI thread's own connection, so the collection may approve senders meanwhile.
// GUI thread only.
class ApprovedSendersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApprovedSendersDialog(MoxelCore& core, QWidget* parent = nullptr);
    ~ApprovedSendersDialog() override;

    // Stores the edits, then closes; on a database error it says so and stays open.
    void accept() override;

private:
    void AddEntry();
    void RemoveEntry();
    // Shows the outcome of an edit: the refusal text, or the new list and an empty field.
    void ShowOutcome(const std::string& refusal);
    void ShowEntries();

    std::unique_ptr<SenderList> stored;
    std::unique_ptr<SenderListEdit> edit;
    QListWidget* list;
    QLineEdit* field;
    QLabel* refusal;
    QPushButton* okButton = nullptr;
};
