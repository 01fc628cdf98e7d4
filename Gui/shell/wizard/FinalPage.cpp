#include "shell/wizard/FinalPage.h"

#include <QLabel>
#include <QVBoxLayout>

FinalPage::FinalPage() {
    setTitle("Congratulations");
    setFinalPage(true);
    auto* text = new QLabel(
        "Your email account is now protected by Moxel.<br><br>Note: It may take a while till "
        "Moxel downloads emails from<br>the account and makes ones that are not spam "
        "available<br>through the email program.<br><br>If you have another email address you "
        "may want to send<br>an email from the address to the account you have just<br>protected "
        "to see how Moxel works.");
    text->setObjectName("text");
    text->setTextFormat(Qt::RichText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
}
