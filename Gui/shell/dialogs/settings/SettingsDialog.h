#pragma once

#include <QDialog>

#include "shell/wizard/DialogServices.h"

class AccountsPage;
class MailDeliveryPage;
class MoxelCore;

// "Settings": the "POP3 Accounts" and "Mail Delivery" pages. Every change is stored as it is
// made (see the pages), so the dialog has only a Close button. User-interface thread.
class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit SettingsDialog(MoxelCore& core, QWidget* parent = nullptr);
    SettingsDialog(MoxelCore& core, DialogServices services, QWidget* parent = nullptr);

    // However it is closed, a field still being edited is stored first.
    void done(int result) override;

private:
    AccountsPage* accounts;
    MailDeliveryPage* mailDelivery;
};
