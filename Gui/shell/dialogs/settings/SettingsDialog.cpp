#include "shell/dialogs/settings/SettingsDialog.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/dialogs/settings/AccountsPage.h"
#include "shell/dialogs/settings/MailDeliveryPage.h"

SettingsDialog::SettingsDialog(MoxelCore& core, QWidget* parent)
    : SettingsDialog(core, DialogServices::Default(), parent) {}

SettingsDialog::SettingsDialog(MoxelCore& core, DialogServices services, QWidget* parent)
    : QDialog(parent),
      accounts(new AccountsPage(core, services)),
      mailDelivery(new MailDeliveryPage(core, services)) {
    setWindowTitle("Settings");
    auto* tabs = new QTabWidget;
    tabs->setObjectName("tabs");
    tabs->addTab(accounts, "POP3 Accounts");
    tabs->addTab(mailDelivery, "Mail Delivery");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

void SettingsDialog::done(int result) {
    // A failed write has been shown; closing anyway is the user's choice to make again.
    mailDelivery->Save();
    QDialog::done(result);
}
