#include "shell/wizard/AccountSettingsPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "shell/wizard/AccountProtectionWizard.h"

namespace {

const char* const kWarning =
    "<font color=#FF4040>Important</font><br><br>Please make sure that emails sent to the above "
    "address<br>are delivered to the account you want Moxel to protect.<br><br>If you are not "
    "sure whether the address is correct please follow<br>these steps before you click "
    "Next:<br><br>1. Send an email to the address,<br>2. Check if the email has arrived using "
    "your email program.<br><br>If the email is there it means that the address is indeed "
    "correct.";

QLabel* Hint(const char* text) {
    auto* hint = new QLabel(text);
    hint->setWordWrap(true);
    return hint;
}

std::string Trimmed(const QLineEdit* field) {
    return field->text().trimmed().toStdString();
}

}  // namespace

AccountSettingsPage::AccountSettingsPage()
    : address(new QLineEdit), host(new QLineEdit), userName(new QLineEdit) {
    setTitle("POP3 Account Settings");
    setProperty("helpTopic", "generic-installation-get.htm");
    address->setObjectName("address");
    host->setObjectName("host");
    userName->setObjectName("userName");
    auto* layout = new QFormLayout(this);
    layout->addRow("Email &address:", address);
    layout->addRow(QString(), Hint("Type in the email address of the POP3 account."));
    layout->addRow("&Host name:", host);
    layout->addRow(QString(), Hint("Type in the POP3 server host name (Internet address)."));
    layout->addRow("User &name:", userName);
    layout->addRow(QString(), Hint("Type in the POP3 account user name (login)."));
    auto* warning = new QLabel(kWarning);
    warning->setTextFormat(Qt::RichText);
    layout->addRow(warning);
}

void AccountSettingsPage::initializePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    if (wizard->Integration()) {
        // Coming back after the switch: the account now names the local server, so show what
        // the user confirmed.
        const auto& fields = wizard->IntegratedFields();
        address->setText(QString::fromStdString(fields.address));
        host->setText(QString::fromStdString(fields.host));
        userName->setText(QString::fromStdString(fields.userName));
        return;
    }
    const auto& account = *wizard->Account();
    address->setText(QString::fromStdString(account.GetEmailAddress()));
    host->setText(QString::fromStdString(account.GetPop3Server()));
    userName->setText(QString::fromStdString(account.GetPop3UserName()));
}

bool AccountSettingsPage::validatePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    return wizard->Integrate({Trimmed(address), Trimmed(host), Trimmed(userName)});
}

int AccountSettingsPage::nextId() const {
    const auto* wizard = static_cast<const AccountProtectionWizard*>(this->wizard());
    return wizard->Account() && wizard->Account()->CanBeChangedAutomatically()
               ? AccountProtectionWizard::kCheckPage
               : AccountProtectionWizard::kManualSetupPage;
}
