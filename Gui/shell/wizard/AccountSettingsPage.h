#pragma once

#include <QWizardPage>

class QLineEdit;

// Page 3 of the wizard: the account's e-mail address, POP3 host and user name, filled from the
// account; Next protects the account with them and stays on the page when that fails.
// User-interface thread.
class AccountSettingsPage : public QWizardPage {
    Q_OBJECT

public:
    AccountSettingsPage();

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

private:
    QLineEdit* address;
    QLineEdit* host;
    QLineEdit* userName;
};
