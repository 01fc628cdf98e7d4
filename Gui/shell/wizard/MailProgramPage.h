#pragma once

#include <QWizardPage>

class QLabel;
class QListWidget;

// Page 1 of the wizard: the mail programs with name and description. User-interface thread.
class MailProgramPage : public QWizardPage {
    Q_OBJECT

public:
    MailProgramPage();

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

private:
    QListWidget* list;
    QLabel* description;
};
