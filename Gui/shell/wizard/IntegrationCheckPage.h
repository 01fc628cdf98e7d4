#pragma once

#include <QWizardPage>

class MoxelCore;
class MailProgramWatch;
class QLabel;

// Page 5 of the wizard: waits until the mail program logs in to the local POP3 server with the
// protected account's key. Leaving it before that warns once and goes on. User-interface
// thread; the login arrives on a session thread (see MailProgramWatch).
class IntegrationCheckPage : public QWizardPage {
    Q_OBJECT

public:
    explicit IntegrationCheckPage(MoxelCore& core);

    void initializePage() override;
    void cleanupPage() override;
    bool validatePage() override;

    bool HasSeenLogin() const { return seen; }

private:
    MailProgramWatch* watch;
    QLabel* text;
    bool seen = false;
};
