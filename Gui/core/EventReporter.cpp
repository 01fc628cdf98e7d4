#include "core/EventReporter.h"

#include <algorithm>

#include "platform/ThreadId.h"

namespace {

// Marks one call of a handler as running for as long as it lives, also when the call throws.
class RunningCall {
public:
    RunningCall(std::map<std::pair<MoxelCoreEventHandler*, ThreadId>, int>& callsIn,
                std::pair<MoxelCoreEventHandler*, ThreadId> keyIn, std::mutex& mutexIn,
                std::condition_variable& endedIn)
        : calls(callsIn), key(keyIn), mutex(mutexIn), ended(endedIn) {
        ++calls[key];  // the caller holds `mutex`
    }
    ~RunningCall() {
        {
            std::lock_guard lock(mutex);
            if (--calls[key] == 0) {
                calls.erase(key);
            }
        }
        ended.notify_all();
    }
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;

private:
    std::map<std::pair<MoxelCoreEventHandler*, ThreadId>, int>& calls;
    std::pair<MoxelCoreEventHandler*, ThreadId> key;
    std::mutex& mutex;
    std::condition_variable& ended;
};

}  // namespace

void EventReporter::AddHandler(MoxelCoreEventHandler* handler) {
    std::lock_guard lock(mutex);
    if (std::find(handlers.begin(), handlers.end(), handler) == handlers.end()) {
        handlers.push_back(handler);
    }
}

void EventReporter::RemoveHandler(MoxelCoreEventHandler* handler) {
    const ThreadId me = platform::CurrentThreadId();
    std::unique_lock lock(mutex);
    const auto found = std::find(handlers.begin(), handlers.end(), handler);
    if (found != handlers.end()) {
        handlers.erase(found);
    }
    // The caller may destroy the handler next: wait for its calls on other threads to end.
    callEnded.wait(lock, [&] {
        return std::none_of(runningCalls.begin(), runningCalls.end(), [&](const auto& call) {
            return call.first.first == handler && call.first.second != me;
        });
    });
}

void EventReporter::Broadcast(const Event& event, bool filtered) {
    const ThreadId thread = platform::CurrentThreadId();
    std::vector<MoxelCoreEventHandler*> copy;
    {
        std::lock_guard lock(mutex);
        copy = handlers;
    }
    for (auto* handler : copy) {
        DeliverTo(handler, thread, event, filtered);
    }
}

void EventReporter::DeliverTo(MoxelCoreEventHandler* handler, const ThreadId& thread,
                              const Event& event, bool filtered) {
    std::unique_lock lock(mutex);
    // A handler removed since the list was copied may already be gone.
    if (std::find(handlers.begin(), handlers.end(), handler) == handlers.end()) {
        return;
    }
    RunningCall running(runningCalls, {handler, thread}, mutex, callEnded);
    lock.unlock();
    if (filtered) {
        const auto accepted = handler->GetThreadFilter(thread);
        if (!accepted.empty() &&
            std::find(accepted.begin(), accepted.end(), thread) == accepted.end()) {
            return;
        }
    }
    event(*handler, thread);
}

void EventReporter::UserConnected() {
    Broadcast([](auto& handler, const auto& thread) { handler.UserConnected(thread); }, false);
}

void EventReporter::UserDisconnected() {
    Broadcast([](auto& handler, const auto& thread) { handler.UserDisconnected(thread); }, true);
}

void EventReporter::RequestReceived(const std::string& request) {
    Broadcast([&](auto& handler, const auto& thread) { handler.RequestReceived(thread, request); },
              true);
}

void EventReporter::ResponseSent(const std::string& response) {
    Broadcast([&](auto& handler, const auto& thread) { handler.ResponseSent(thread, response); },
              true);
}

void EventReporter::ResponseDataSent(const std::string& data) {
    Broadcast([&](auto& handler, const auto& thread) { handler.ResponseDataSent(thread, data); },
              true);
}

void EventReporter::MailProgramLoggedIn(const LetterBoxKey& key) {
    Broadcast([&](auto& handler, const auto& thread) { handler.MailProgramLoggedIn(thread, key); },
              true);
}

void EventReporter::MailProgramLoggedOut(const LetterBoxKey& key) {
    Broadcast([&](auto& handler, const auto& thread) { handler.MailProgramLoggedOut(thread, key); },
              true);
}

void EventReporter::CollectingStarted() {
    Broadcast([](auto& handler, const auto& thread) { handler.CollectingStarted(thread); }, true);
}

void EventReporter::CollectingFinished() {
    Broadcast([](auto& handler, const auto& thread) { handler.CollectingFinished(thread); }, true);
}

void EventReporter::ErrorOccurred(const std::string& error) {
    Broadcast([&](auto& handler, const auto& thread) { handler.ErrorOccurred(thread, error); },
              true);
}

void EventReporter::CollectingFailed(const std::string& error) {
    Broadcast([&](auto& handler, const auto& thread) { handler.CollectingFailed(thread, error); },
              true);
}

void EventReporter::ApplicationStarted() {
    Broadcast([](auto& handler, const auto& thread) { handler.ApplicationStarted(thread); }, true);
}

void EventReporter::ApplicationExited() {
    Broadcast([](auto& handler, const auto& thread) { handler.ApplicationExited(thread); }, true);
}

void EventReporter::CheckingMail(const LetterBoxKey& key) {
    Broadcast([&](auto& handler, const auto& thread) { handler.CheckingMail(thread, key); }, true);
}

void EventReporter::LettersRetrieved(const LetterBoxPtr& letters) {
    Broadcast([&](auto& handler, const auto& thread) { handler.LettersRetrieved(thread, letters); },
              true);
}

void EventReporter::CreatingVerificationRequest(const std::string& deliveryPointAddress,
                                                const std::string& senderAddress) {
    Broadcast(
        [&](auto& handler, const auto& thread) {
            handler.CreatingVerificationRequest(thread, deliveryPointAddress, senderAddress);
        },
        true);
}

void EventReporter::SendingMail(const std::string& smtpHost) {
    Broadcast([&](auto& handler, const auto& thread) { handler.SendingMail(thread, smtpHost); },
              true);
}

void EventReporter::MessagesSent(int count) {
    Broadcast([&](auto& handler, const auto& thread) { handler.MessagesSent(thread, count); },
              true);
}

void EventReporter::SendingMessage(const LetterPtr& letter) {
    Broadcast([&](auto& handler, const auto& thread) { handler.SendingMessage(thread, letter); },
              true);
}

void EventReporter::MessageSent(const LetterPtr& letter) {
    Broadcast([&](auto& handler, const auto& thread) { handler.MessageSent(thread, letter); },
              true);
}

void EventReporter::MessageNotSent(const LetterPtr& letter, const std::string& error, bool giveUp) {
    Broadcast([&](auto& handler,
                  const auto& thread) { handler.MessageNotSent(thread, letter, error, giveUp); },
              true);
}

void EventReporter::ApprovedLettersAdded(int count) {
    Broadcast(
        [&](auto& handler, const auto& thread) { handler.ApprovedLettersAdded(thread, count); },
        true);
}

void EventReporter::SenderApproved(const std::string& sender) {
    Broadcast([&](auto& handler, const auto& thread) { handler.SenderApproved(thread, sender); },
              true);
}

void EventReporter::ProcessingIncomingMail() {
    Broadcast([](auto& handler, const auto& thread) { handler.ProcessingIncomingMail(thread); },
              true);
}

void EventReporter::ProcessingFinished() {
    Broadcast([](auto& handler, const auto& thread) { handler.ProcessingFinished(thread); }, true);
}

void EventReporter::CollectingWarning(const std::string& warning) {
    Broadcast([&warning](auto& handler,
                         const auto& thread) { handler.CollectingWarning(thread, warning); },
              true);
}

void EventReporter::VerificationRequestSkipped(const std::string& deliveryPointAddress,
                                               const std::string& senderAddress,
                                               const std::string& reason) {
    Broadcast(
        [&](auto& handler, const auto& thread) {
            handler.VerificationRequestSkipped(thread, deliveryPointAddress, senderAddress, reason);
        },
        true);
}
