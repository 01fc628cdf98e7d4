#include "shell/wizard/AccountProtectionWizard.h"

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "shell/integration/GenericEmailClient.h"
#include "shell/integration/GenericEmailClientAccount.h"
#include "shell/wizard/AccountPage.h"
#include "shell/wizard/AccountSettingsPage.h"
#include "shell/wizard/FinalPage.h"
#include "shell/wizard/IntegrationCheckPage.h"
#include "shell/wizard/MailProgramPage.h"
#include "shell/wizard/ManualSetupPage.h"

AccountProtectionWizard::AccountProtectionWizard(MoxelCore& coreIn, DialogServices servicesIn,
                                                 QWidget* parent)
    : QWizard(parent),
      core(coreIn),
      services(std::move(servicesIn)),
      localPort(EmailClientIntegration::GetLocalPopPort()) {
    setWindowTitle(kTitle);
    setWizardStyle(QWizard::ClassicStyle);
    setPage(kProgramPage, new MailProgramPage);
    setPage(kAccountPage, new AccountPage);
    setPage(kSettingsPage, new AccountSettingsPage);
    setPage(kManualSetupPage, new ManualSetupPage);
    setPage(kCheckPage, new IntegrationCheckPage(core));
    setPage(kFinalPage, new FinalPage);
    setStartId(kProgramPage);
    connect(this, &QWizard::currentIdChanged, this, &AccountProtectionWizard::ShowHelpButtonFor);
    connect(this, &QWizard::helpRequested, this, [this] {
        const QString topic = currentPage()->property("helpTopic").toString();
        if (!topic.isEmpty() && services.openHelp) {
            services.openHelp(topic);
        }
    });
}

const std::vector<EmailClientIntegration::EmailClientPtr>& AccountProtectionWizard::MailPrograms() {
    if (!programs) {
        programs = services.mailPrograms();
    }
    return *programs;
}

bool AccountProtectionWizard::ChooseProgram(EmailClientIntegration::EmailClientPtr chosen) {
    if (chosen == program && account) {
        return true;
    }
    if (!TryUndoIntegration()) {
        return false;
    }
    program = std::move(chosen);
    account.reset();
    if (!ProgramHasAccounts()) {
        account = std::make_shared<EmailClientIntegration::GenericEmailClientAccount>();
    }
    return true;
}

bool AccountProtectionWizard::ChooseAccount(EmailClientIntegration::EmailClientAccountPtr chosen) {
    if (chosen == account) {
        return true;
    }
    if (!TryUndoIntegration()) {
        return false;
    }
    account = std::move(chosen);
    return true;
}

bool AccountProtectionWizard::ProgramHasAccounts() const {
    return program != nullptr && dynamic_cast<const EmailClientIntegration::GenericEmailClient*>(
                                     program.get()) == nullptr;
}

bool AccountProtectionWizard::Integrate(const Fields& fields) {
    if (integration && integratedFields == fields) {
        return true;  // back and forth without a change: the account is protected already
    }
    if (!TryUndoIntegration()) {
        return false;
    }
    const std::string oldServer = account->GetPop3Server();
    const std::string oldUserName = account->GetPop3UserName();
    try {
        account->SetPop3Server(fields.host);
        account->SetPop3UserName(fields.userName);
        integration = EmailClientIntegration::Integrate(*account, fields.address, core, localPort);
        integratedFields = fields;
        return true;
    } catch (const Exception& e) {
        // The fields were only tried: the account keeps what it had.
        account->SetPop3Server(oldServer);
        account->SetPop3UserName(oldUserName);
        services.asker->Tell(this, Asker::Kind::Warning, kTitle,
                             QString::fromStdString(e.GetDescription()));
        return false;
    }
}

void AccountProtectionWizard::UndoIntegration() {
    if (!integration) {
        return;
    }
    EmailClientIntegration::Restore(*account, integration->key);
    if (integration->registeredKey) {
        core.UnregisterAccount(integration->key);
    }
    integration.reset();
}

bool AccountProtectionWizard::TryUndoIntegration() {
    try {
        UndoIntegration();
        return true;
    } catch (const Exception& e) {
        services.asker->Tell(this, Asker::Kind::Error, kTitle,
                             QString::fromStdString(e.GetDescription()));
        return false;
    }
}

AccountProtectionWizard::~AccountProtectionWizard() {
    const std::string failure = Finish();
    if (!failure.empty()) {
        // No window to show it in any more: the application log keeps it.
        core.GetEventReporter()->ErrorOccurred(failure);
    }
}

std::string AccountProtectionWizard::Finish() {
    if (finished || !integration) {
        return {};
    }
    finished = true;
    try {
        EmailClientIntegration::FinishIntegration(*integration, core);
        return {};
    } catch (const Exception& e) {
        return e.GetDescription();
    } catch (const std::exception& e) {
        return e.what();
    }
}

void AccountProtectionWizard::done(int result) {
    const std::string failure = Finish();
    if (!failure.empty()) {
        services.asker->Tell(this, Asker::Kind::Error, kTitle, QString::fromStdString(failure));
    }
    QWizard::done(result);
}

void AccountProtectionWizard::ShowHelpButtonFor(int pageId) {
    const QWizardPage* shown = page(pageId);
    setOption(QWizard::HaveHelpButton,
              shown != nullptr && !shown->property("helpTopic").toString().isEmpty());
}
