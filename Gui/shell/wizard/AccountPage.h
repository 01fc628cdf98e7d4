#pragma once

#include <QWizardPage>
#include <vector>

#include "shell/integration/EmailClient.h"

class QLabel;
class QListWidget;

// Page 2 of the wizard, for a program with an account list: the program's accounts with name
// and description; an account that is already protected is refused. User-interface thread.
class AccountPage : public QWizardPage {
    Q_OBJECT

public:
    AccountPage();

    void initializePage() override;
    bool validatePage() override;

private:
    QListWidget* list;
    QLabel* description;
    QLabel* problems;
    // The program whose accounts the list shows, and its accounts, read once per choice so
    // that an account this wizard protected can be passed again on the way back and forth.
    EmailClientIntegration::EmailClientPtr listed;
    std::vector<EmailClientIntegration::EmailClientAccountPtr> accounts;
};
