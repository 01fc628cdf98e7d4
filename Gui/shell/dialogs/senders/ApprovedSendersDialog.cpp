#include "shell/dialogs/senders/ApprovedSendersDialog.h"

#include <QDebug>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/SenderList.h"
#include "postoffice/PopPostOffice.h"
#include "shell/dialogs/senders/SenderListEdit.h"
#include "shell/resources/ResourceIcons.h"

ApprovedSendersDialog::ApprovedSendersDialog(MoxelCore& core, QWidget* parent)
    : QDialog(parent),
      list(new QListWidget(this)),
      field(new QLineEdit(this)),
      refusal(new QLabel(this)) {
    setWindowTitle(tr("Approved Senders"));
    setWindowIcon(ResourceIcon(kIconTray));

    auto* heading = new QLabel(tr("<b>Senders You Trust</b>"), this);
    auto* hint =
        new QLabel(tr("Type in one email address or domain name at a time and click Add."), this);
    auto* example = new QLabel(tr("For example: friend@example.com or example.org"), this);
    hint->setWordWrap(true);
    list->setObjectName(QStringLiteral("senders"));
    field->setObjectName(QStringLiteral("entry"));
    refusal->setObjectName(QStringLiteral("refusal"));
    refusal->setStyleSheet(QStringLiteral("color: #c00000"));
    refusal->setWordWrap(true);
    auto* add = new QPushButton(tr("&Add"), this);
    auto* remove = new QPushButton(tr("&Remove"), this);
    add->setObjectName(QStringLiteral("add"));
    remove->setObjectName(QStringLiteral("remove"));
    add->setAutoDefault(false);
    remove->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);

    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(field);
    entryRow->addWidget(add);
    entryRow->addWidget(remove);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(hint);
    layout->addWidget(example);
    layout->addWidget(list);
    layout->addLayout(entryRow);
    layout->addWidget(refusal);
    layout->addWidget(buttons);

    connect(add, &QPushButton::clicked, this, &ApprovedSendersDialog::AddEntry);
    connect(field, &QLineEdit::returnPressed, this, &ApprovedSendersDialog::AddEntry);
    connect(remove, &QPushButton::clicked, this, &ApprovedSendersDialog::RemoveEntry);
    connect(list, &QListWidget::currentTextChanged, field, &QLineEdit::setText);
    connect(buttons, &QDialogButtonBox::accepted, this, &ApprovedSendersDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ApprovedSendersDialog::reject);

    try {
        // An object of this thread's own over the post office's list row.
        stored = std::make_unique<SenderList>(core.GetPostOffice().GetApprovedSenders().GetId());
        edit = std::make_unique<SenderListEdit>(stored->GetEntries());
        ShowEntries();
    } catch (const Exception& error) {
        qWarning() << "Approved senders cannot be read:" << error.GetDescription().c_str();
        refusal->setText(tr("The approved senders cannot be read: %1")
                             .arg(QString::fromStdString(error.GetDescription())));
        add->setEnabled(false);
        remove->setEnabled(false);
        okButton->setEnabled(false);
    }
}

ApprovedSendersDialog::~ApprovedSendersDialog() = default;

void ApprovedSendersDialog::AddEntry() {
    if (!edit) {
        return;
    }
    ShowOutcome(edit->Add(field->text().toStdString()));
}

void ApprovedSendersDialog::RemoveEntry() {
    if (!edit) {
        return;
    }
    ShowOutcome(edit->Remove(field->text().toStdString()));
}

void ApprovedSendersDialog::ShowOutcome(const std::string& refused) {
    refusal->setText(QString::fromStdString(refused));
    if (refused.empty()) {
        ShowEntries();
        field->clear();
    }
    field->setFocus();
}

void ApprovedSendersDialog::ShowEntries() {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const auto& entry : edit->GetEntries()) {
        list->addItem(QString::fromStdString(entry));
    }
}

void ApprovedSendersDialog::accept() {
    if (!edit) {
        return;
    }
    try {
        edit->Apply(*stored);
    } catch (const Exception& error) {
        qWarning() << "Approved senders not stored:" << error.GetDescription().c_str();
        QMessageBox::critical(this, windowTitle(),
                              tr("The approved senders could not be stored:\n%1")
                                  .arg(QString::fromStdString(error.GetDescription())));
        return;
    }
    QDialog::accept();
}
