#include "shell/dialogs/settings/AccountsPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/AppPropertyCollection.h"
#include "shell/wizard/AccountProtectionWizard.h"
#include "shell/wizard/RemoveProtectionDialog.h"

namespace {

const char* const kTitle = "Settings";

}  // namespace

AccountsPage::AccountsPage(MoxelCore& coreIn, DialogServices servicesIn, QWidget* parent)
    : QWidget(parent),
      core(coreIn),
      services(std::move(servicesIn)),
      list(new QTreeWidget),
      remove(new QPushButton("&Remove...")),
      leaveCopies(new QCheckBox("&Leave copies of messages on the server(s)")) {
    list->setObjectName("accounts");
    list->setHeaderLabels({"Email Address", "Host Name", "User Name"});
    list->setRootIsDecorated(false);
    list->header()->setStretchLastSection(true);
    auto* add = new QPushButton("&Add Account...");
    add->setObjectName("add");
    remove->setObjectName("remove");
    remove->setEnabled(false);
    leaveCopies->setObjectName("leaveCopies");
    try {
        leaveCopies->setChecked(GetAppProperties().GetLeaveCopies());
    } catch (const Exception& e) {
        services.asker->Tell(this, Asker::Kind::Error, kTitle,
                             QString::fromStdString(e.GetDescription()));
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);
    layout->addWidget(leaveCopies);

    connect(list, &QTreeWidget::itemSelectionChanged, this,
            [this] { remove->setEnabled(!list->selectedItems().isEmpty()); });
    connect(add, &QPushButton::clicked, this, &AccountsPage::AddAccount);
    connect(remove, &QPushButton::clicked, this, &AccountsPage::RemoveAccount);
    connect(leaveCopies, &QCheckBox::clicked, this, &AccountsPage::WriteLeaveCopies);
    Refresh();
}

void AccountsPage::Refresh() {
    list->clear();
    keys.clear();
    try {
        keys = core.GetRegisteredAccounts();
    } catch (const Exception& e) {
        services.asker->Tell(this, Asker::Kind::Error, kTitle,
                             QString::fromStdString(e.GetDescription()));
    }
    for (const auto& key : keys) {
        new QTreeWidgetItem(
            list, {QString::fromStdString(key.GetAddress()), QString::fromStdString(key.GetHost()),
                   QString::fromStdString(key.GetUserName())});
    }
    remove->setEnabled(false);
}

void AccountsPage::AddAccount() {
    auto* wizard = new AccountProtectionWizard(core, services, this);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    connect(wizard, &QDialog::finished, this, &AccountsPage::Refresh);
    wizard->open();
}

void AccountsPage::RemoveAccount() {
    QTreeWidgetItem* item = list->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    const LetterBoxKey key = keys.at(static_cast<std::size_t>(list->indexOfTopLevelItem(item)));
    if (!services.asker->AskYesNo(this, kTitle,
                                  "Are you sure you want to remove protection for this account?")) {
        return;
    }
    auto* dialog = new RemoveProtectionDialog(core, key, services, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!dialog->Start()) {
        delete dialog;
        return;
    }
    connect(dialog, &QDialog::finished, this, &AccountsPage::Refresh);
    // From here on the account is no longer downloaded, nor listed.
    Refresh();
    dialog->open();
}

void AccountsPage::WriteLeaveCopies(bool checked) {
    try {
        GetAppProperties().SetLeaveCopies(checked);
    } catch (const Exception& e) {
        // The box shows what is stored.
        leaveCopies->setChecked(!checked);
        services.asker->Tell(this, Asker::Kind::Error, kTitle,
                             QString::fromStdString(e.GetDescription()));
    }
}
