#include "shell/wizard/IntegrationCheckPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "shell/wizard/AccountProtectionWizard.h"
#include "shell/wizard/MailProgramWatch.h"

namespace {

const char* const kWaiting =
    "Please start your email program and have it download new mail<br>using the account you are "
    "enabling protection for.<br><br><font color=#FF4040>Waiting for "
    "connection...</font><br><br>Note: You may have to restart your email program before<br>the "
    "changes to its configuration will take effect.";
const char* const kConnected =
    "<font color=#35A935>Your email program has successfully connected to "
    "Moxel!</font><br><br>Please click Next to continue.";
const char* const kSkipped =
    "You have skipped the integration check. It is not recommended.\n\nNote: You can click Back "
    "if you want to check if the account is correctly integrated with Moxel.";

}  // namespace

IntegrationCheckPage::IntegrationCheckPage(MoxelCore& core)
    : watch(new MailProgramWatch(core, MailProgramWatch::Event::LoggedIn, this)), text(new QLabel) {
    setTitle("Integration Check");
    text->setObjectName("status");
    text->setTextFormat(Qt::RichText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    connect(watch, &MailProgramWatch::Seen, this, [this] {
        seen = true;
        text->setText(kConnected);
    });
}

void IntegrationCheckPage::initializePage() {
    auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
    seen = false;
    text->setText(kWaiting);
    watch->Start(wizard->Integration()->key);
}

void IntegrationCheckPage::cleanupPage() {
    watch->Stop();
}

bool IntegrationCheckPage::validatePage() {
    watch->Stop();
    if (!seen) {
        auto* wizard = static_cast<AccountProtectionWizard*>(this->wizard());
        wizard->Services().asker->Tell(this, Asker::Kind::Warning, AccountProtectionWizard::kTitle,
                                       kSkipped);
    }
    return true;
}
