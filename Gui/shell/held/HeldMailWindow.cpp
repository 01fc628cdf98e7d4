#include "shell/held/HeldMailWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <boost/date_time/posix_time/posix_time.hpp>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "database/EncodedWords.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/GuiThread.h"

namespace {

enum Column { kSender, kSubject, kAccount, kAge, kColumnCount };

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "3 min", "5 h", "2 days": how long ago the letter was downloaded.
QString AgeText(const boost::posix_time::ptime& retrieved, const boost::posix_time::ptime& now) {
    const auto minutes = (now - retrieved).total_seconds() / 60;
    if (minutes < 60) {
        return QStringLiteral("%1 min").arg(std::max<long long>(0, minutes));
    }
    if (minutes < 48 * 60) {
        return QStringLiteral("%1 h").arg(minutes / 60);
    }
    return QStringLiteral("%1 days").arg(minutes / (24 * 60));
}

}  // namespace

HeldMailWindow::HeldMailWindow(MoxelCore& coreIn, QWidget* parent)
    : QWidget(parent),
      core(coreIn),
      held(coreIn.GetPostOffice(), kBoxWait),
      table(new QTableWidget(0, kColumnCount, this)),
      preview(new QPlainTextEdit(this)),
      releaseButton(new QPushButton(tr("&Release"), this)),
      approveButton(new QPushButton(tr("&Approve sender"), this)),
      deleteButton(new QPushButton(tr("&Delete"), this)),
      statusLine(new QLabel(this)) {
    setWindowTitle(tr("Held Mail"));
    table->setObjectName("heldTable");
    table->setHorizontalHeaderLabels({tr("Sender"), tr("Subject"), tr("Account"), tr("Age")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(kSubject, QHeaderView::Stretch);
    preview->setObjectName("preview");
    preview->setReadOnly(true);
    releaseButton->setObjectName("releaseButton");
    approveButton->setObjectName("approveButton");
    deleteButton->setObjectName("deleteButton");
    statusLine->setObjectName("statusLine");
    statusLine->setTextFormat(Qt::PlainText);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table);
    splitter->addWidget(preview);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(releaseButton);
    buttons->addWidget(approveButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addLayout(buttons);
    layout->addWidget(statusLine);
    resize(760, 520);

    connect(table, &QTableWidget::itemSelectionChanged, this, &HeldMailWindow::ShowPreview);
    connect(releaseButton, &QPushButton::clicked, this, &HeldMailWindow::ReleaseSelected);
    connect(approveButton, &QPushButton::clicked, this, &HeldMailWindow::ApproveSelected);
    connect(deleteButton, &QPushButton::clicked, this, &HeldMailWindow::DeleteSelected);

    // Registered first, so that a run ending while the list is read still refreshes it.
    core.AddHandler(this);
    Refresh();
}

HeldMailWindow::~HeldMailWindow() {
    // Waits for a delivery in progress on the collection thread; queued refreshes die with us.
    core.GetEventReporter()->RemoveHandler(this);
}

void HeldMailWindow::CollectingFinished(const ThreadId&) {
    PostToGuiThread(this, [this] { Refresh(); });
}

void HeldMailWindow::Refresh() {
    const auto selected = SelectedId();
    std::vector<HeldLetter> letters;
    try {
        letters = held.List();
    } catch (const Exception& error) {
        statusLine->setText(Utf8(error.GetDescription()));
    }
    const auto clock = core.GetPostOffice().GetClock();
    const auto now = clock ? clock->Now() : boost::posix_time::second_clock::local_time();
    const QSignalBlocker quiet(table);
    table->clearSelection();
    table->setRowCount(static_cast<int>(letters.size()));
    int selectRow = -1;
    for (int row = 0; row < static_cast<int>(letters.size()); ++row) {
        const auto& letter = letters[static_cast<std::size_t>(row)];
        const QString cells[kColumnCount] = {
            letter.sender.empty() ? tr("(no sender)") : Utf8(DecodeHeaderForDisplay(letter.sender)),
            Utf8(DecodeHeaderForDisplay(letter.subject)),
            Utf8(DecodeHeaderForDisplay(letter.account)), AgeText(letter.retrieved, now)};
        for (int column = 0; column < kColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setData(Qt::UserRole, static_cast<qlonglong>(letter.id));
            table->setItem(row, column, item);
        }
        if (selected && *selected == letter.id) {
            selectRow = row;
        }
    }
    if (selectRow >= 0) {
        table->selectRow(selectRow);
    }
    ShowPreview();
}

std::optional<std::int64_t> HeldMailWindow::SelectedId() const {
    const auto rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    const auto* item = table->item(rows.front().row(), kSender);
    if (item == nullptr) {
        return std::nullopt;
    }
    return item->data(Qt::UserRole).toLongLong();
}

void HeldMailWindow::ShowPreview() {
    UpdateButtons();
    const auto id = SelectedId();
    if (!id) {
        preview->clear();
        return;
    }
    try {
        preview->setPlainText(Utf8(held.GetText(*id)));
    } catch (const Exception& error) {
        // Pruned or released elsewhere since the list was read.
        preview->clear();
        statusLine->setText(Utf8(error.GetDescription()));
    }
}

void HeldMailWindow::UpdateButtons() {
    const bool any = SelectedId().has_value();
    releaseButton->setEnabled(any);
    approveButton->setEnabled(any);
    deleteButton->setEnabled(any);
}

void HeldMailWindow::Act(const std::function<QString(std::int64_t)>& action) {
    const auto id = SelectedId();
    if (!id) {
        return;
    }
    try {
        statusLine->setText(action(*id));
    } catch (const Exception& error) {
        statusLine->setText(Utf8(error.GetDescription()));
    }
    Refresh();
}

void HeldMailWindow::ReleaseSelected() {
    Act([this](std::int64_t id) {
        const auto letter = held.Release(id);
        return tr("Released to the inbox of %1.").arg(Utf8(letter.account));
    });
}

void HeldMailWindow::ApproveSelected() {
    Act([this](std::int64_t id) {
        const auto approval = held.ApproveSender(id);
        // One call: a sender holding "%1" must not take the count's place.
        return tr("Approved %1; %2 letter(s) released to the inbox.")
            .arg(Utf8(approval.sender), QString::number(approval.released));
    });
}

void HeldMailWindow::DeleteSelected() {
    Act([this](std::int64_t id) {
        held.Delete(id);
        return tr("Deleted.");
    });
}
