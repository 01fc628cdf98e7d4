#pragma once

#include <QWizard>
#include <optional>
#include <string>
#include <vector>

#include "shell/integration/Integration.h"
#include "shell/wizard/DialogServices.h"

class MoxelCore;

// The "Account Protection Wizard": the user picks a mail program and one of its accounts (or
// "Other"), confirms the account's address, host and user name, the account is switched to the
// local POP3 server and protected, and the wizard waits for the mail program's first login.
// When it closes, a protection it started becomes a working POP3 account. User-interface thread.
class AccountProtectionWizard : public QWizard {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Account Protection Wizard";

    enum PageId {
        kProgramPage,
        kAccountPage,
        kSettingsPage,
        kManualSetupPage,
        kCheckPage,
        kFinalPage
    };

    // The values of the settings page at the last successful integration.
    struct Fields {
        std::string address;
        std::string host;
        std::string userName;
        bool operator==(const Fields&) const = default;
    };

    explicit AccountProtectionWizard(MoxelCore& core,
                                     DialogServices services = DialogServices::Default(),
                                     QWidget* parent = nullptr);

    MoxelCore& Core() { return core; }
    const DialogServices& Services() const { return services; }
    int LocalPort() const { return localPort; }

    // The mail programs, read once per wizard.
    const std::vector<EmailClientIntegration::EmailClientPtr>& MailPrograms();
    EmailClientIntegration::EmailClientPtr Program() const { return program; }
    // A new choice of program forgets the account chosen before; for a program without an
    // account list ("Other") a new in-memory account is used. Choosing another program or
    // account first undoes what this wizard integrated; false, with the reason shown, when that
    // fails.
    bool ChooseProgram(EmailClientIntegration::EmailClientPtr chosen);
    EmailClientIntegration::EmailClientAccountPtr Account() const { return account; }
    bool ChooseAccount(EmailClientIntegration::EmailClientAccountPtr chosen);
    // True for a program whose accounts the user picks from a list.
    bool ProgramHasAccounts() const;

    // The integration done by the settings page, if any.
    const std::optional<EmailClientIntegration::IntegrationResult>& Integration() const {
        return integration;
    }
    const Fields& IntegratedFields() const { return integratedFields; }
    // Protects the chosen account with the values of the settings page. Shows the reason and
    // returns false when it cannot; the account is then as it was. Integrating again with other
    // values first undoes the earlier integration of this wizard.
    bool Integrate(const Fields& fields);

    // Closing the wizard in any way finishes a protection it started (see FinishIntegration).
    void done(int result) override;
    // The same for a wizard destroyed without being closed (its parent went away).
    ~AccountProtectionWizard() override;

private:
    // Puts back an integration this wizard did (the values were changed on the settings page).
    void UndoIntegration();
    // UndoIntegration, showing why it failed; false then.
    bool TryUndoIntegration();
    void ShowHelpButtonFor(int pageId);
    // FinishIntegration once; the reason of a failure as text, empty on success.
    std::string Finish();

    MoxelCore& core;
    DialogServices services;
    const int localPort;
    std::optional<std::vector<EmailClientIntegration::EmailClientPtr>> programs;
    EmailClientIntegration::EmailClientPtr program;
    EmailClientIntegration::EmailClientAccountPtr account;
    std::optional<EmailClientIntegration::IntegrationResult> integration;
    Fields integratedFields;
    bool finished = false;
};
