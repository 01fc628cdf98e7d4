#include "shell/dialogs/settings/CVerifyGlobalSettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/GuiThread.h"
#include "shell/dialogs/settings/SettingsTestRun.h"

namespace {

QString DescriptionOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return QString::fromStdString(e.GetDescription());
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    } catch (...) {
        return "Unknown exception";
    }
}

// The address goes into the SMTP envelope: one word with an "@", no control characters.
bool LooksLikeAddress(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F) {
            return false;
        }
    }
    return text.contains('@');
}

}  // namespace

CVerifyGlobalSettingsDialog::CVerifyGlobalSettingsDialog(MoxelCore& coreIn,
                                                         std::function<bool()> isComputerOnlineIn,
                                                         QWidget* parent)
    : QDialog(parent),
      core(coreIn),
      isComputerOnline(std::move(isComputerOnlineIn)),
      useAddress(new QCheckBox("&Also send a test message from this address:")),
      address(new QLineEdit),
      start(new QPushButton("&Start Test")),
      lines(new QPlainTextEdit),
      verdict(new QLabel),
      waitForEarlier(new QTimer(this)) {
    setWindowTitle("Test SMTP Settings");
    useAddress->setObjectName("useAddress");
    address->setObjectName("address");
    address->setEnabled(false);
    start->setObjectName("start");
    lines->setObjectName("lines");
    lines->setReadOnly(true);
    verdict->setObjectName("verdict");
    verdict->setTextFormat(Qt::PlainText);
    waitForEarlier->setInterval(200);
    connect(useAddress, &QCheckBox::toggled, address, &QLineEdit::setEnabled);
    connect(start, &QPushButton::clicked, this, &CVerifyGlobalSettingsDialog::StartTest);
    connect(waitForEarlier, &QTimer::timeout, this, [this] {
        if (!SettingsTestRun::Busy()) {
            waitForEarlier->stop();
            Begin();
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* typed = new QHBoxLayout;
    typed->addWidget(useAddress);
    typed->addWidget(address);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(typed);
    layout->addWidget(start);
    layout->addWidget(lines);
    layout->addWidget(verdict);
    layout->addWidget(buttons);
}

CVerifyGlobalSettingsDialog::~CVerifyGlobalSettingsDialog() {
    // The run goes on without us; what it already posted is dropped with this object.
    if (run) {
        run->Detach();
    }
}

bool CVerifyGlobalSettingsDialog::IsRunning() const {
    return waitForEarlier->isActive() || (run && !run->HasEnded());
}

void CVerifyGlobalSettingsDialog::StartTest() {
    if (IsRunning()) {
        return;
    }
    const QString typed = address->text().trimmed();
    if (useAddress->isChecked() && !typed.isEmpty() && !LooksLikeAddress(typed)) {
        verdict->setText(QString("'%1' is not an email address.").arg(typed));
        return;
    }
    start->setEnabled(false);
    lines->clear();
    verdict->clear();
    if (SettingsTestRun::Busy()) {
        AddLine("Waiting for the earlier test to end...");
        waitForEarlier->start();
        return;
    }
    Begin();
}

void CVerifyGlobalSettingsDialog::Begin() {
    const std::optional<std::string> typed =
        useAddress->isChecked()
            ? std::optional<std::string>(address->text().trimmed().toStdString())
            : std::nullopt;
    SettingsTestRun::Listener listener;
    listener.line = [this](const std::string& line) {
        PostToGuiThread(this, [this, text = QString::fromStdString(line)] { AddLine(text); });
    };
    listener.finished = [this](const SmtpSettingsTest::Result& result) {
        const QString failure = result.failure ? DescriptionOf(result.failure) : QString();
        PostToGuiThread(this, [this, result, failure] {
            ShowVerdict(QString::fromStdString(SmtpSettingsTest::OutcomeText(result.outcome)),
                        failure);
        });
    };
    try {
        auto& postOffice = core.GetPostOffice();
        const auto addresses =
            SmtpSettingsTest::AddressesToTest(postOffice.GetDeliveryPoints(), typed);
        run = SettingsTestRun::Start(postOffice.GetSmtpDispatchPoint()->GetData().GetId(),
                                     addresses, typed, isComputerOnline, std::move(listener));
    } catch (const Exception& e) {
        ShowVerdict(QString::fromStdString(e.GetDescription()), QString());
    }
}

void CVerifyGlobalSettingsDialog::AddLine(const QString& line) {
    lines->appendPlainText(line);
}

void CVerifyGlobalSettingsDialog::ShowVerdict(const QString& text, const QString& failure) {
    if (!failure.isEmpty()) {
        AddLine(failure);
    }
    verdict->setText(text);
    start->setEnabled(true);
    emit TestEnded();
}
