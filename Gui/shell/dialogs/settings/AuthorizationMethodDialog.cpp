#include "shell/dialogs/settings/AuthorizationMethodDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "database/Transaction.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"

namespace {

// The stored methods: 1 logs in to the SMTP server, 2 to a POP3 account first.
constexpr std::int32_t kSmtpLogin = 1;
constexpr std::int32_t kPopBeforeSmtp = 2;

QLineEdit* Field(const char* name, const std::string& value, bool secret = false) {
    auto* field = new QLineEdit(QString::fromStdString(value));
    field->setObjectName(name);
    if (secret) {
        field->setEchoMode(QLineEdit::Password);
    }
    return field;
}

std::string TextOf(const QLineEdit* field) {
    return field->text().toStdString();
}

}  // namespace

AuthorizationMethodDialog::AuthorizationMethodDialog(TarnwellSmtpDispatchPoint& pointIn,
                                                     std::shared_ptr<Asker> askerIn,
                                                     QWidget* parent)
    : QDialog(parent),
      point(pointIn),
      asker(std::move(askerIn)),
      smtpLogin(new QRadioButton("&Log in to the SMTP server")),
      popLogin(new QRadioButton("&Connect to POP3 account to authorize")),
      userName(Field("userName", point.GetUserName())),
      password(Field("password", point.GetPassword(), true)),
      popServer(Field("popServer", point.GetPopServer())),
      popUserName(Field("popUserName", point.GetPopUserName())),
      popPassword(Field("popPassword", point.GetPopPassword(), true)) {
    setWindowTitle("Authorization Method");
    smtpLogin->setObjectName("smtpLogin");
    popLogin->setObjectName("popLogin");
    (point.GetAuthorizationMethod() == kPopBeforeSmtp ? popLogin : smtpLogin)->setChecked(true);
    auto* smtpFields = new QFormLayout;
    smtpFields->addRow("&User name:", userName);
    smtpFields->addRow("&Password:", password);
    auto* popFields = new QFormLayout;
    popFields->addRow("Server &address:", popServer);
    popFields->addRow("U&ser name:", popUserName);
    popFields->addRow("Pass&word:", popPassword);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &AuthorizationMethodDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(smtpLogin, &QRadioButton::toggled, this, &AuthorizationMethodDialog::EnableFields);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(smtpLogin);
    layout->addLayout(smtpFields);
    layout->addWidget(popLogin);
    layout->addLayout(popFields);
    layout->addWidget(buttons);
    EnableFields();
}

void AuthorizationMethodDialog::EnableFields() {
    const bool smtp = smtpLogin->isChecked();
    userName->setEnabled(smtp);
    password->setEnabled(smtp);
    popServer->setEnabled(!smtp);
    popUserName->setEnabled(!smtp);
    popPassword->setEnabled(!smtp);
}

void AuthorizationMethodDialog::accept() {
    try {
        // All of it or nothing: a half-written method would log in with the wrong account.
        DatabaseLayer::Transaction transaction;
        point.SetAuthorizationMethod(smtpLogin->isChecked() ? kSmtpLogin : kPopBeforeSmtp);
        point.SetUserName(TextOf(userName));
        point.SetPassword(TextOf(password));
        point.SetPopServer(TextOf(popServer));
        point.SetPopUserName(TextOf(popUserName));
        point.SetPopPassword(TextOf(popPassword));
    } catch (const Exception& e) {
        asker->Tell(this, Asker::Kind::Error, windowTitle(),
                    QString::fromStdString(e.GetDescription()));
        return;
    }
    QDialog::accept();
}
