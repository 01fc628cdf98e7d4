#include "shell/wizard/MessageBoxAsker.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon IconOf(Asker::Kind kind) {
    switch (kind) {
        case Asker::Kind::Information:
            return QMessageBox::Information;
        case Asker::Kind::Warning:
            return QMessageBox::Warning;
        case Asker::Kind::Error:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxAsker::Tell(QWidget* parent, Kind kind, const QString& title, const QString& text,
                           const std::function<void()>& onHelp) {
    QMessageBox box(IconOf(kind), title, text, QMessageBox::Ok, parent);
    // The texts carry "\n" line breaks, never mark-up.
    box.setTextFormat(Qt::PlainText);
    QPushButton* help = nullptr;
    if (onHelp) {
        help = box.addButton(QMessageBox::Help);
    }
    box.exec();
    if (help != nullptr && box.clickedButton() == help) {
        onHelp();
    }
}

bool MessageBoxAsker::AskYesNo(QWidget* parent, const QString& title, const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
