#pragma once

#include <QWidget>
#include <vector>

#include "database/LetterBoxKey.h"
#include "shell/wizard/DialogServices.h"

class MoxelCore;
class QCheckBox;
class QPushButton;
class QTreeWidget;

// The "POP3 Accounts" page: the protected accounts, adding one with the Account Protection
// Wizard, removing one with the Remove Protection dialog, and "LeaveCopies", written at each
// click. User-interface thread.
class AccountsPage : public QWidget {
    Q_OBJECT

public:
    AccountsPage(MoxelCore& core, DialogServices services, QWidget* parent = nullptr);

    // Lists the protected accounts anew.
    void Refresh();

private:
    void AddAccount();
    void RemoveAccount();
    void WriteLeaveCopies(bool checked);

    MoxelCore& core;
    DialogServices services;
    std::vector<LetterBoxKey> keys;  // by row of the list
    QTreeWidget* list;
    QPushButton* remove;
    QCheckBox* leaveCopies;
};
