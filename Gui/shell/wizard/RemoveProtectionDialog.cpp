#include "shell/wizard/RemoveProtectionDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "shell/integration/Integration.h"
#include "shell/wizard/MailProgramWatch.h"

namespace {

const char* const kTitle = "Remove Protection";
const char* const kHelpTopic = "generic-installation-set.htm";
const char* const kWaiting =
    "Please use your email program to download mail from<br>the account you are removing "
    "protection from.<br><br><font color=#FF4040>Waiting till all messages are "
    "downloaded...</font><br>";
const char* const kDownloaded =
    "<font color=#35A935>Your email program has successfully connected to Moxel "
    "and<br>downloaded the available messages!</font>";
const char* const kNotDownloaded =
    "You have not downloaded messages using your email program.\n\nTHE EMAILS WILL BE "
    "LOST!\n\nDo you want to remove the account from Moxel anyway?";
const char* const kReverted =
    "Moxel has successfully reverted your email program settings to their original values. "
    "\n\nYou may have to restart your email program for the changes to take effect.";
const char* const kRevertByHand =
    "Moxel wasn't able to automatically disable support for this account in your email "
    "program.\n\nYou need to revert your settings manually.\n\nClick Help if you need more "
    "information.";

}  // namespace

RemoveProtectionDialog::RemoveProtectionDialog(MoxelCore& coreIn, LetterBoxKey keyIn,
                                               DialogServices servicesIn, QWidget* parent)
    : QDialog(parent),
      core(coreIn),
      key(std::move(keyIn)),
      services(std::move(servicesIn)),
      watch(new MailProgramWatch(core, MailProgramWatch::Event::LoggedOut, this)),
      heading(new QLabel("Download Mail")),
      text(new QLabel(kWaiting)) {
    setWindowTitle(kTitle);
    heading->setObjectName("heading");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    text->setObjectName("text");
    text->setTextFormat(Qt::RichText);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton("&Finish", QDialogButtonBox::AcceptRole)->setObjectName("finish");
    buttons->addButton(QDialogButtonBox::Help);
    connect(buttons, &QDialogButtonBox::accepted, this, &RemoveProtectionDialog::accept);
    connect(buttons, &QDialogButtonBox::helpRequested, this,
            [this] { services.openHelp(kHelpTopic); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(text);
    layout->addStretch();
    layout->addWidget(buttons);
    connect(watch, &MailProgramWatch::Seen, this, [this] {
        downloaded = true;
        heading->setText("Success");
        text->setText(kDownloaded);
    });
}

bool RemoveProtectionDialog::Start() {
    try {
        core.PrepareDeliveryPointForUnregistration(key);
    } catch (const Exception& e) {
        services.asker->Tell(parentWidget(), Asker::Kind::Error, kTitle,
                             QString::fromStdString(e.GetDescription()));
        return false;
    }
    started = true;
    watch->Start(key);
    return true;
}

RemoveProtectionDialog::~RemoveProtectionDialog() {
    if (!started || removed) {
        return;
    }
    watch->Stop();
    // No window to tell it in any more: the application log keeps it.
    try {
        core.TurnPlaceholderDeliveryPointIntoPopPoint(key);
        core.GetEventReporter()->ErrorOccurred(
            "Protection was not removed from " + key.ToString() +
            ": the Remove Protection dialog closed before it finished. The account is downloaded "
            "again once the mail program has logged in.");
    } catch (const Exception& e) {
        core.GetEventReporter()->ErrorOccurred("Protection of " + key.ToString() +
                                               " could not be restored: " + e.GetDescription());
    }
}

void RemoveProtectionDialog::accept() {
    if (!downloaded && !services.asker->AskYesNo(this, kTitle, kNotDownloaded)) {
        return;  // back to waiting
    }
    if (Remove()) {
        QDialog::accept();
    }
}

void RemoveProtectionDialog::reject() {
    accept();
}

bool RemoveProtectionDialog::Remove() {
    if (!removed) {
        try {
            core.UnregisterAccount(key);
        } catch (const Exception& e) {
            services.asker->Tell(this, Asker::Kind::Error, kTitle,
                                 QString::fromStdString(e.GetDescription()));
            return false;
        }
        removed = true;
    }
    watch->Stop();
    std::vector<std::string> problems;
    const auto account = EmailClientIntegration::FindAccountOfKey(
        services.mailPrograms(), key, EmailClientIntegration::GetLocalPopPort(), problems);
    QString failure;
    if (account) {
        try {
            EmailClientIntegration::Restore(*account, key);
            services.asker->Tell(this, Asker::Kind::Information, kTitle, kReverted);
            return true;
        } catch (const Exception& e) {
            failure = QString::fromStdString(e.GetDescription());
        }
    }
    for (const auto& problem : problems) {
        failure += (failure.isEmpty() ? "" : "\n") + QString::fromStdString(problem);
    }
    services.asker->Tell(
        this, Asker::Kind::Warning, kTitle,
        failure.isEmpty() ? QString(kRevertByHand) : QString(kRevertByHand) + "\n\n" + failure,
        [this] { services.openHelp(kHelpTopic); });
    return true;
}
