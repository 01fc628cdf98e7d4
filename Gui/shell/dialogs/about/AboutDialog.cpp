#include "shell/dialogs/about/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/Identity.h"
#include "shell/resources/ResourceIcons.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString product = QString::fromUtf8(Identity::kProductName);
    setWindowTitle(tr("About %1").arg(product));
    setWindowIcon(ResourceIcon(kIconTray));

    auto* icon = new QLabel(this);
    icon->setPixmap(ResourceIcon(kIconTray).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* name = new QLabel(QStringLiteral("<b><big>%1</big></b>").arg(product), this);
    auto* version = new QLabel(VersionLine(), this);
    version->setObjectName(QStringLiteral("version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* purpose = new QLabel(
        tr("Keeps spam out of your mailbox by challenge and response: mail from approved senders "
           "reaches your mail program at once; anyone else is asked to reply once before their "
           "mail is let through."),
        this);
    purpose->setWordWrap(true);
    auto* copyright = new QLabel(
        tr("Copyright \u00A9 2026 the Moxel developers. Free to use and to share."), this);
    copyright->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(purpose);
    texts->addWidget(copyright);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QString AboutDialog::VersionLine() {
    QString line =
        tr("Version %1 (build %2)")
            .arg(QString::fromStdString(Identity::GetVersion()),
                 QString::fromStdString(Identity::GetBuildNumber(Identity::kBuildRevision)));
    if (*Identity::kEdition != '\0') {
        line += QLatin1Char(' ') + QString::fromUtf8(Identity::kEdition);
    }
    return line;
}
