#include "shell/wizard/AccountPage.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "shell/integration/Thunderbird.h"
#include "shell/wizard/AccountProtectionWizard.h"

AccountPage::AccountPage() : list(new QListWidget), description(new QLabel), problems(new QLabel) {
    setTitle("Accounts");
    setSubTitle("Please select an account from the list below.");
    list->setObjectName("accounts");
    description->setObjectName("description");
    description->setTextFormat(Qt::RichText);
    description->setWordWrap(true);
    problems->setObjectName("problems");
    problems->setTextFormat(Qt::PlainText);
    problems->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(description);
    layout->addWidget(problems);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        description->setText(row < 0
                                 ? QString()
                                 : QString::fromStdString(
                                       accounts[static_cast<std::size_t>(row)]->GetDescription()));
    });
}

void AccountPage::initializePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    if (listed == wizard->Program()) {
        return;
    }
    listed = wizard->Program();
    list->clear();
    accounts.clear();
    QStringList unread;
    try {
        accounts = listed->EnumerateAccounts();
    } catch (const Exception& e) {
        unread << QString::fromStdString(e.GetDescription());
    }
    if (const auto* thunderbird =
            dynamic_cast<const EmailClientIntegration::Thunderbird*>(listed.get())) {
        for (const auto& problem : thunderbird->GetProblems()) {
            unread << QString::fromStdString(problem);
        }
    }
    for (const auto& account : accounts) {
        new QListWidgetItem(QString::fromStdString(account->GetName()), list);
    }
    if (accounts.empty()) {
        unread << "No POP3 account was found in this program.";
    }
    problems->setText(unread.join("\n"));
}

bool AccountPage::validatePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    const int row = list->currentRow();
    if (row < 0 || !list->item(row)->isSelected()) {
        wizard->Services().asker->Tell(this, Asker::Kind::Warning, "No selection.",
                                       "Please select an account from the list");
        return false;
    }
    const auto& chosen = accounts[static_cast<std::size_t>(row)];
    const bool protectedHere = chosen == wizard->Account() && wizard->Integration();
    if (!protectedHere && EmailClientIntegration::IsIntegrated(*chosen, wizard->LocalPort())) {
        wizard->Services().asker->Tell(this, Asker::Kind::Warning, AccountProtectionWizard::kTitle,
                                       EmailClientIntegration::kAlreadyProtected);
        return false;
    }
    return wizard->ChooseAccount(chosen);
}
