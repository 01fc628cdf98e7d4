#include "core/MoxelCoreEventHandler.h"

// Empty defaults: a handler overrides only the events it reacts to.

std::vector<ThreadId> MoxelCoreEventHandler::GetThreadFilter(const ThreadId&) {
    return {};
}

void MoxelCoreEventHandler::UserConnected(const ThreadId&) {}
void MoxelCoreEventHandler::UserDisconnected(const ThreadId&) {}
void MoxelCoreEventHandler::RequestReceived(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::ResponseSent(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::ResponseDataSent(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::MailProgramLoggedIn(const ThreadId&, const LetterBoxKey&) {}
void MoxelCoreEventHandler::MailProgramLoggedOut(const ThreadId&, const LetterBoxKey&) {}
void MoxelCoreEventHandler::CollectingStarted(const ThreadId&) {}
void MoxelCoreEventHandler::CollectingFinished(const ThreadId&) {}
void MoxelCoreEventHandler::ErrorOccurred(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::CollectingFailed(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::ApplicationStarted(const ThreadId&) {}
void MoxelCoreEventHandler::ApplicationExited(const ThreadId&) {}
void MoxelCoreEventHandler::CheckingMail(const ThreadId&, const LetterBoxKey&) {}
void MoxelCoreEventHandler::LettersRetrieved(const ThreadId&, const LetterBoxPtr&) {}
void MoxelCoreEventHandler::CreatingVerificationRequest(const ThreadId&, const std::string&,
                                                        const std::string&) {}
void MoxelCoreEventHandler::SendingMail(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::MessagesSent(const ThreadId&, int) {}
void MoxelCoreEventHandler::SendingMessage(const ThreadId&, const LetterPtr&) {}
void MoxelCoreEventHandler::MessageSent(const ThreadId&, const LetterPtr&) {}
void MoxelCoreEventHandler::MessageNotSent(const ThreadId&, const LetterPtr&, const std::string&,
                                           bool) {}
void MoxelCoreEventHandler::ApprovedLettersAdded(const ThreadId&, int) {}
void MoxelCoreEventHandler::SenderApproved(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::ProcessingIncomingMail(const ThreadId&) {}
void MoxelCoreEventHandler::ProcessingFinished(const ThreadId&) {}

void MoxelCoreEventHandler::CollectingWarning(const ThreadId&, const std::string&) {}
void MoxelCoreEventHandler::VerificationRequestSkipped(const ThreadId&, const std::string&,
                                                       const std::string&, const std::string&) {}

MoxelCoreEventHandler::~MoxelCoreEventHandler() = default;
