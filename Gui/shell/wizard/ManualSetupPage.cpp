#include "shell/wizard/ManualSetupPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "shell/wizard/AccountProtectionWizard.h"

namespace {

// Read-only, but selectable, so that the values can be copied into the mail program.
QLineEdit* Value(const char* name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setReadOnly(true);
    return field;
}

}  // namespace

ManualSetupPage::ManualSetupPage()
    : userName(Value("userName")), server(Value("server")), port(Value("port")) {
    setTitle("POP3 Account Setup");
    setProperty("helpTopic", "generic-installation-set.htm");
    auto* layout = new QFormLayout(this);
    auto* text = new QLabel(
        "Change your email program POP3 account settings.<br><br>Click Help to get "
        "more information.");
    text->setTextFormat(Qt::RichText);
    layout->addRow(text);
    layout->addRow("User &name:", userName);
    layout->addRow("POP3 &server:", server);
    layout->addRow("POP3 &port:", port);
}

void ManualSetupPage::initializePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    userName->setText(QString::fromStdString(wizard->Integration()->key.ToString()));
    server->setText("localhost");
    port->setText(QString::number(wizard->LocalPort()));
}
