#pragma once

#include "shell/app/ShellWindows.h"

// The windows of the menu while the dialogs are built on their own: each says in a message box
// that it is not part of this build yet. Replaced by the windows that open the real dialogs.
// User-interface thread only.
class PendingShellWindows : public ShellWindows {
public:
    void ShowSettings() override;
    void ShowApprovedSenders() override;
    void ShowHeldMail() override;
    void ShowHelp(const QString& topic) override;
    void ShowAbout() override;
};
