#pragma once

#include <QWizardPage>

class QLineEdit;

// Page 4 of the wizard, for a mail program Moxel cannot change: the values the user types into
// the program. User-interface thread.
class ManualSetupPage : public QWizardPage {
    Q_OBJECT

public:
    ManualSetupPage();

    void initializePage() override;

private:
    QLineEdit* userName;
    QLineEdit* server;
    QLineEdit* port;
};
