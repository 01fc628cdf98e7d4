#pragma once

#include <QWizardPage>

// Page 6 of the wizard: the account is protected. User-interface thread.
class FinalPage : public QWizardPage {
    Q_OBJECT

public:
    FinalPage();
};
