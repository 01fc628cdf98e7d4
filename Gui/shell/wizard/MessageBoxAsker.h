#pragma once

#include "shell/wizard/Asker.h"

// The Asker of the running program: modal message boxes. User-interface thread.
class MessageBoxAsker : public Asker {
public:
    void Tell(QWidget* parent, Kind kind, const QString& title, const QString& text,
              const std::function<void()>& onHelp = {}) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& question) override;
};
