#pragma once

#include <QString>

// The windows the tray menu, the balloons' links and the fallback window open. The frame only
// asks for them, so that it can be tested without opening real dialogs.
class ShellWindows {
public:
    virtual ~ShellWindows() = default;

    virtual void ShowSettings() = 0;
    virtual void ShowApprovedSenders() = 0;
    virtual void ShowHeldMail() = 0;
    virtual void ShowHelp(const QString& topic) = 0;
    virtual void ShowAbout() = 0;
};
