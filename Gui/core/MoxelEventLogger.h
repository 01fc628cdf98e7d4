#pragma once

#include <atomic>

#include "core/EventLogger.h"
#include "core/ThreadIdList.h"

// The application log (files "Moxel_..."): what the collection thread does, in words for the
// user. It starts writing when the repeated collection thread reports ApplicationStarted and
// from then on takes only that thread's events, until ApplicationExited. Events may arrive on
// any thread.
class MoxelEventLogger : public EventLogger {
public:
    // Throws Exception when the log folder cannot be created.
    MoxelEventLogger(std::filesystem::path directory, std::shared_ptr<const Clock> timeSource);

    std::vector<ThreadId> GetThreadFilter(const ThreadId& thread) override;

    void ApplicationStarted(const ThreadId& thread) override;
    void ApplicationExited(const ThreadId& thread) override;
    void ErrorOccurred(const ThreadId& thread, const std::string& error) override;
    void CollectingFailed(const ThreadId& thread, const std::string& error) override;
    void CollectingWarning(const ThreadId& thread, const std::string& warning) override;
    void CheckingMail(const ThreadId& thread, const LetterBoxKey& key) override;
    // Lists the box's letters; opens the box for the raising thread while it reads it.
    void LettersRetrieved(const ThreadId& thread, const LetterBoxPtr& letters) override;
    void CreatingVerificationRequest(const ThreadId& thread,
                                     const std::string& deliveryPointAddress,
                                     const std::string& senderAddress) override;
    void VerificationRequestSkipped(const ThreadId& thread, const std::string& deliveryPointAddress,
                                    const std::string& senderAddress,
                                    const std::string& reason) override;
    void SendingMail(const ThreadId& thread, const std::string& smtpHost) override;
    void MessagesSent(const ThreadId& thread, int count) override;
    void SendingMessage(const ThreadId& thread, const LetterPtr& letter) override;
    void MessageSent(const ThreadId& thread, const LetterPtr& letter) override;
    void MessageNotSent(const ThreadId& thread, const LetterPtr& letter, const std::string& error,
                        bool giveUp) override;
    void ApprovedLettersAdded(const ThreadId& thread, int count) override;
    void SenderApproved(const ThreadId& thread, const std::string& sender) override;
    void ProcessingIncomingMail(const ThreadId& thread) override;

private:
    // Writes only while the collection thread runs.
    void WriteIfActive(const std::string& text);

    ThreadIdList threads;
    std::atomic<bool> active{false};
};
