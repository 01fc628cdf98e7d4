#pragma once

#include <QString>
#include <functional>

class QWidget;

// Shows the wizard's and the settings dialog's messages and asks their yes-or-no questions.
// The dialogs take it as a shared object so that tests answer without a modal loop. Used on the
// user-interface thread.
class Asker {
public:
    enum class Kind { Information, Warning, Error };

    virtual ~Asker() = default;

    // Shows `text` under `title`. When `onHelp` is given, the message offers a Help button that
    // calls it.
    virtual void Tell(QWidget* parent, Kind kind, const QString& title, const QString& text,
                      const std::function<void()>& onHelp = {}) = 0;
    // True when the user answers Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& question) = 0;
};
