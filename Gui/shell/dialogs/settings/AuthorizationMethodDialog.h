#pragma once

#include <QDialog>
#include <memory>

#include "shell/wizard/Asker.h"

class QLineEdit;
class QRadioButton;
class TarnwellSmtpDispatchPoint;

// "Authorization Method": log in to the SMTP server, or log in to a POP3 account before
// sending. Shows the dispatch point's stored values; OK writes them all, Cancel none; a write
// that fails is shown and the dialog stays open with the values.
// User-interface thread.
class AuthorizationMethodDialog : public QDialog {
    Q_OBJECT

public:
    AuthorizationMethodDialog(TarnwellSmtpDispatchPoint& point, std::shared_ptr<Asker> asker,
                              QWidget* parent = nullptr);

    void accept() override;

private:
    void EnableFields();

    TarnwellSmtpDispatchPoint& point;
    std::shared_ptr<Asker> asker;
    QRadioButton* smtpLogin;
    QRadioButton* popLogin;
    QLineEdit* userName;
    QLineEdit* password;
    QLineEdit* popServer;
    QLineEdit* popUserName;
    QLineEdit* popPassword;
};
