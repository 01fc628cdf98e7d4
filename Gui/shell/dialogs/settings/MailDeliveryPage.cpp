#include "shell/dialogs/settings/MailDeliveryPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "dispatch/ServerAddress.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "postoffice/PopPostOffice.h"
#include "shell/dialogs/settings/AuthorizationMethodDialog.h"
#include "shell/dialogs/settings/CVerifyGlobalSettingsDialog.h"

MailDeliveryPage::MailDeliveryPage(MoxelCore& coreIn, DialogServices servicesIn, QWidget* parent)
    : QWidget(parent),
      core(coreIn),
      services(std::move(servicesIn)),
      point(core.GetPostOffice().GetSmtpDispatchPoint()),
      server(new QLineEdit(QString::fromStdString(point->GetSmtpServerAddress()))),
      serverProblem(new QLabel),
      authorization(new QCheckBox("&Enable SMTP server authorization")),
      configure(new QLabel("<a href=\"configure\">(click here to configure...)</a>")) {
    server->setObjectName("server");
    serverProblem->setObjectName("serverProblem");
    serverProblem->setTextFormat(Qt::PlainText);
    serverProblem->setWordWrap(true);
    serverProblem->setStyleSheet("color: #FF4040");
    authorization->setObjectName("authorization");
    authorization->setChecked(point->IsAuthorizationEnabled());
    configure->setObjectName("configure");
    configure->setTextFormat(Qt::RichText);
    configure->setEnabled(authorization->isChecked());
    auto* test = new QPushButton("Click here to &test your configuration...");
    test->setObjectName("test");
    test->setFlat(true);
    // Shown as a link, as the configure link beside the check box is.
    test->setStyleSheet(
        "QPushButton { color: palette(link); text-decoration: underline; border: none; }");
    test->setCursor(Qt::PointingHandCursor);

    auto* intro = new QLabel(
        "Enter the host name of the SMTP server Moxel will use to send its outgoing mail.");
    intro->setWordWrap(true);
    auto* fields = new QFormLayout;
    fields->addRow("&Outgoing mail server:", server);
    fields->addRow(QString(), serverProblem);
    auto* authRow = new QHBoxLayout;
    authRow->addWidget(authorization);
    authRow->addWidget(configure);
    authRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(fields);
    layout->addLayout(authRow);
    layout->addWidget(test, 0, Qt::AlignLeft);
    layout->addStretch();

    connect(server, &QLineEdit::editingFinished, this, &MailDeliveryPage::Save);
    connect(server, &QLineEdit::textChanged, this, &MailDeliveryPage::ShowServerProblem);
    connect(authorization, &QCheckBox::clicked, this, [this](bool checked) {
        configure->setEnabled(checked);
        Save();
    });
    connect(configure, &QLabel::linkActivated, this, &MailDeliveryPage::OpenAuthorizationMethod);
    connect(test, &QPushButton::clicked, this, &MailDeliveryPage::OpenTest);
    ShowServerProblem();
}

bool MailDeliveryPage::Save() {
    try {
        const std::string typed = server->text().trimmed().toStdString();
        if (typed != point->GetSmtpServerAddress()) {
            point->SetSmtpServerAddress(typed);
        }
        if (authorization->isChecked() != point->IsAuthorizationEnabled()) {
            point->SetAuthorizationEnabled(authorization->isChecked());
        }
        return true;
    } catch (const Exception& e) {
        services.asker->Tell(this, Asker::Kind::Error, "Settings",
                             QString::fromStdString(e.GetDescription()));
        return false;
    }
}

void MailDeliveryPage::ShowServerProblem() {
    // Stored as typed all the same: the user sees why sending will fail.
    const std::string typed = server->text().trimmed().toStdString();
    QString problem;
    if (!typed.empty()) {
        try {
            ParseSmtpServerAddress(typed);
        } catch (const Exception& e) {
            problem = QString::fromStdString(e.GetDescription());
        }
    }
    serverProblem->setText(problem);
    serverProblem->setVisible(!problem.isEmpty());
}

void MailDeliveryPage::OpenAuthorizationMethod() {
    auto* dialog = new AuthorizationMethodDialog(*point, services.asker, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MailDeliveryPage::OpenTest() {
    if (!Save()) {
        return;
    }
    auto* dialog = new CVerifyGlobalSettingsDialog(core, services.isComputerOnline, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
