#pragma once

#include <QWidget>
#include <memory>

#include "shell/wizard/DialogServices.h"

class MoxelCore;
class QCheckBox;
class QLabel;
class QLineEdit;
class TarnwellSmtpDispatchPoint;

// The "Mail Delivery" page: the SMTP server and whether to authorise, with links to the
// "Authorization Method" dialog and to the SMTP test. The server and the check box are written
// to the dispatch point when the server field is left (or Enter pressed), at each click of the
// check box, before the test starts and when the settings dialog closes, so that no edit is
// lost and the test always runs with what the user sees. User-interface thread.
class MailDeliveryPage : public QWidget {
    Q_OBJECT

public:
    MailDeliveryPage(MoxelCore& core, DialogServices services, QWidget* parent = nullptr);

    // Writes the values that differ from the stored ones. False, with the reason shown, when a
    // write failed.
    bool Save();

private:
    void ShowServerProblem();
    void OpenAuthorizationMethod();
    void OpenTest();

    MoxelCore& core;
    DialogServices services;
    std::shared_ptr<TarnwellSmtpDispatchPoint> point;
    QLineEdit* server;
    QLabel* serverProblem;
    QCheckBox* authorization;
    QLabel* configure;
};
