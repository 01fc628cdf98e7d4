#pragma once

#include <QDialog>

#include "database/LetterBoxKey.h"
#include "shell/wizard/DialogServices.h"

class MoxelCore;
class MailProgramWatch;
class QLabel;

// "Remove Protection" for one protected account: downloading stops, the user lets the mail
// program fetch what had arrived, then the account is removed from Moxel and the mail program's
// settings are put back. The dialog can only end by removing the account, since after Start the
// account is no longer downloaded. User-interface thread; the logout arrives on a session thread
// (see MailProgramWatch).
class RemoveProtectionDialog : public QDialog {
    Q_OBJECT

public:
    RemoveProtectionDialog(MoxelCore& core, LetterBoxKey key,
                           DialogServices services = DialogServices::Default(),
                           QWidget* parent = nullptr);
    // A dialog that goes before it finished (the program exits while it waits) puts the
    // account back to being downloaded: removing it now would lose the mail not yet fetched.
    ~RemoveProtectionDialog() override;

    // Stops downloading for the account, keeping every letter that had arrived available to
    // the mail program, and starts waiting for the mail program to fetch them. False, with the
    // reason shown, when the account cannot be prepared; the dialog should not be shown then.
    bool Start();

    bool HasSeenDownload() const { return downloaded; }

    // Finish: asks first when the mail program has not fetched the mail; then removes.
    void accept() override;
    // Closing the window is finishing: the account cannot be left half removed.
    void reject() override;

private:
    // Removes the account and puts the mail program's settings back; false when the account
    // could not be removed (the reason was shown).
    bool Remove();

    MoxelCore& core;
    const LetterBoxKey key;
    DialogServices services;
    MailProgramWatch* watch;
    QLabel* heading;
    QLabel* text;
    bool started = false;
    bool downloaded = false;
    bool removed = false;
};
