#include "dispatch/SettingsTestLines.h"

#include <utility>

#include "core/Format.h"
#include "database/LetterData.h"

SettingsTestLines::SettingsTestLines(std::function<void(const std::string&)> onLineIn)
    : onLine(std::move(onLineIn)) {}

void SettingsTestLines::SendingMessage(const ThreadId&, const LetterPtr& letter) {
    Add(Format("Sending test message from %1% to %2%.", letter->GetSender(),
               letter->GetRecipient()));
}

void SettingsTestLines::MessageSent(const ThreadId&, const LetterPtr&) {
    Add("Ok, message sent.");
}

void SettingsTestLines::MessageNotSent(const ThreadId&, const LetterPtr&, const std::string& error,
                                       bool) {
    Add(Format("Oops! Failed to send the message (\"%1%\").", error));
}

std::vector<std::string> SettingsTestLines::Lines() const {
    std::lock_guard lock(mutex);
    return lines;
}

void SettingsTestLines::Add(const std::string& line) {
    {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    }
    if (onLine) {
        onLine(line);
    }
}
