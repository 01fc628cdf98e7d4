#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/MoxelCoreEventHandler.h"

// The lines the SMTP settings test shows while it runs, one per event: "Sending test message
// from <sender> to <recipient>.", "Ok, message sent.", "Oops! Failed to send the message
// ("<error>")." Each line is kept and handed to `onLine` (if given) on the thread that raised
// the event, the test's worker; the shell moves it to its own thread. Any thread may read Lines.
class SettingsTestLines : public MoxelCoreEventHandler {
public:
    explicit SettingsTestLines(std::function<void(const std::string&)> onLine = {});

    void SendingMessage(const ThreadId& thread, const LetterPtr& letter) override;
    void MessageSent(const ThreadId& thread, const LetterPtr& letter) override;
    void MessageNotSent(const ThreadId& thread, const LetterPtr& letter, const std::string& error,
                        bool giveUp) override;

    std::vector<std::string> Lines() const;

private:
    void Add(const std::string& line);

    const std::function<void(const std::string&)> onLine;
    mutable std::mutex mutex;
    // Guarded by `mutex`.
    std::vector<std::string> lines;
};
