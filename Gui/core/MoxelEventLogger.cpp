#include "core/MoxelEventLogger.h"

#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Identity.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"

MoxelEventLogger::MoxelEventLogger(std::filesystem::path directory,
                                   std::shared_ptr<const Clock> timeSource)
    : EventLogger("Moxel", std::move(directory), std::move(timeSource)) {}

std::vector<ThreadId> MoxelEventLogger::GetThreadFilter(const ThreadId&) {
    return threads.Copy();
}

void MoxelEventLogger::WriteIfActive(const std::string& text) {
    if (active.load()) {
        Write(text);
    }
}

void MoxelEventLogger::ApplicationStarted(const ThreadId& thread) {
    Write(Format("*** Application started (version: %1% %2%).", Identity::GetVersion(),
                 Identity::kEdition));
    threads.Add(thread);
    active.store(true);
}

void MoxelEventLogger::ApplicationExited(const ThreadId& thread) {
    Write("*** Application exited.");
    threads.Remove(thread);
    active.store(false);
}

void MoxelEventLogger::ErrorOccurred(const ThreadId&, const std::string& error) {
    WriteIfActive(Format("Oops! An error occurred (\"%1%\").", error));
}

void MoxelEventLogger::CollectingFailed(const ThreadId& thread, const std::string& error) {
    ErrorOccurred(thread, error);
}

void MoxelEventLogger::CollectingWarning(const ThreadId&, const std::string& warning) {
    WriteIfActive(Format("Warning: %1%", warning));
}

void MoxelEventLogger::CheckingMail(const ThreadId&, const LetterBoxKey& key) {
    WriteIfActive(Format("Checking for new mail (host name: %1% user name: %2%).", key.GetHost(),
                         key.GetUserName()));
}

void MoxelEventLogger::LettersRetrieved(const ThreadId& thread, const LetterBoxPtr& letters) {
    if (!active.load() || !letters) {
        return;
    }
    try {
        // The lines are gathered first, so that a failure halfway leaves no half list behind.
        std::vector<std::string> lines;
        {
            LetterBoxLock open(letters);
            const auto ids = letters->GetLetterIds();
            if (ids.empty()) {
                lines.emplace_back("Ok, no new messages.");
            } else {
                lines.push_back(Format("Ok, %1% new message(s):", ids.size()));
            }
            for (const auto id : ids) {
                if (const auto letter = letters->GetLetter(id)) {
                    lines.push_back(Format("Subject: \"%1%\" from: %2% to: %3%.",
                                           letter->GetSubject(), letter->GetSender(),
                                           letter->GetRecipient()));
                }
            }
        }
        for (const auto& line : lines) {
            Write(line);
        }
    } catch (const Exception& error) {
        // The box is busy or unreadable: say so rather than list nothing.
        ErrorOccurred(thread, error.what());
    }
}

void MoxelEventLogger::SendingMessage(const ThreadId& thread, const LetterPtr& letter) {
    if (!active.load() || !letter) {
        return;
    }
    try {
        WriteIfActive(Format("Sending message \"%1%\" (from: %2% to: %3%).", letter->GetSubject(),
                             letter->GetSender(), letter->GetRecipient()));
    } catch (const Exception& error) {
        ErrorOccurred(thread, error.what());
    }
}

void MoxelEventLogger::CreatingVerificationRequest(const ThreadId&, const std::string&,
                                                   const std::string& senderAddress) {
    WriteIfActive(Format("Creating a verification message for %1% (it's not an approved sender).",
                         senderAddress));
}

void MoxelEventLogger::VerificationRequestSkipped(const ThreadId&, const std::string&,
                                                  const std::string& senderAddress,
                                                  const std::string& reason) {
    WriteIfActive(Format("No verification message for %1% (%2%); the message is held.",
                         senderAddress, reason));
}

void MoxelEventLogger::SendingMail(const ThreadId&, const std::string& smtpHost) {
    WriteIfActive(Format("Sending mail (SMTP host name: %1%).", smtpHost));
}

void MoxelEventLogger::MessagesSent(const ThreadId&, int count) {
    WriteIfActive(Format("%1% message(s) sent.", count));
}

void MoxelEventLogger::MessageSent(const ThreadId&, const LetterPtr&) {
    WriteIfActive("Ok, message sent.");
}

void MoxelEventLogger::MessageNotSent(const ThreadId&, const LetterPtr&, const std::string& error,
                                      bool giveUp) {
    WriteIfActive(giveUp ? Format("Oops! Failed to send the message (\"%1%\"). Giving up!", error)
                         : Format("Warning! Not able to send the message at this time (\"%1%\"). "
                                  "Will send again later.",
                                  error));
}

void MoxelEventLogger::ApprovedLettersAdded(const ThreadId&, int count) {
    if (count >= 1) {
        WriteIfActive(Format("%1% approved message(s) added to inbox.", count));
    }
}

void MoxelEventLogger::SenderApproved(const ThreadId&, const std::string& sender) {
    WriteIfActive(Format("Adding %1% to approved senders list.", sender));
}

void MoxelEventLogger::ProcessingIncomingMail(const ThreadId&) {
    WriteIfActive("Processing incoming mail.");
}
