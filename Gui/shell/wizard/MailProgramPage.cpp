#include "shell/wizard/MailProgramPage.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "shell/wizard/AccountProtectionWizard.h"

MailProgramPage::MailProgramPage() : list(new QListWidget), description(new QLabel) {
    setTitle("Email Programs");
    setSubTitle("Please select a program from the list below.");
    list->setObjectName("programs");
    description->setObjectName("description");
    description->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(description);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        description->setText(row < 0 ? QString() : list->item(row)->data(Qt::UserRole).toString());
    });
}

void MailProgramPage::initializePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    if (list->count() > 0) {
        return;  // back from a later page: keep the choice
    }
    for (const auto& program : wizard->MailPrograms()) {
        auto* item = new QListWidgetItem(QString::fromStdString(program->GetName()), list);
        item->setData(Qt::UserRole, QString::fromStdString(program->GetDescription()));
        item->setToolTip(QString::fromStdString(program->GetDescription()));
    }
}

bool MailProgramPage::validatePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    const int row = list->currentRow();
    if (row < 0 || !list->item(row)->isSelected()) {
        wizard->Services().asker->Tell(this, Asker::Kind::Warning, "No selection.",
                                       "Please select an email program from the list");
        return false;
    }
    return wizard->ChooseProgram(wizard->MailPrograms().at(static_cast<std::size_t>(row)));
}

int MailProgramPage::nextId() const {
    const auto* wizard = static_cast<const AccountProtectionWizard*>(this->wizard());
    return wizard->ProgramHasAccounts() ? AccountProtectionWizard::kAccountPage
                                        : AccountProtectionWizard::kSettingsPage;
}
