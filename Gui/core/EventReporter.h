#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/MoxelCoreEventHandler.h"

// Broadcasts each core event to the registered handlers, on the thread that raises it. Before
// each delivery a handler's GetThreadFilter is asked: an empty list or one that holds the raising
// thread lets the event through; UserConnected is delivered to every handler regardless, so that
// a handler can start following a new session thread.
//
// Shared (by std::shared_ptr) between the core and everything that raises events; every
// operation may be called from any thread, also from inside a handler.
class EventReporter {
public:
    // Appends `handler` unless it is already registered (compared by identity). Not owned.
    void AddHandler(MoxelCoreEventHandler* handler);
    // Removes the first registration of `handler`; nothing happens when it is absent. Once this
    // returns, the handler is not called again and no other thread is still inside one of its
    // operations, so the caller may destroy it. (Removal from inside the handler's own operation
    // on the same thread does not wait for that call.)
    void RemoveHandler(MoxelCoreEventHandler* handler);

    void UserConnected();
    void UserDisconnected();
    void RequestReceived(const std::string& request);
    void ResponseSent(const std::string& response);
    void ResponseDataSent(const std::string& data);
    void MailProgramLoggedIn(const LetterBoxKey& key);
    void MailProgramLoggedOut(const LetterBoxKey& key);
    void CollectingStarted();
    void CollectingFinished();
    void ErrorOccurred(const std::string& error);
    void CollectingFailed(const std::string& error);
    void ApplicationStarted();
    void ApplicationExited();
    void CheckingMail(const LetterBoxKey& key);
    void LettersRetrieved(const LetterBoxPtr& letters);
    void CreatingVerificationRequest(const std::string& deliveryPointAddress,
                                     const std::string& senderAddress);
    void SendingMail(const std::string& smtpHost);
    void MessagesSent(int count);
    void SendingMessage(const LetterPtr& letter);
    void MessageSent(const LetterPtr& letter);
    void MessageNotSent(const LetterPtr& letter, const std::string& error, bool giveUp);
    void ApprovedLettersAdded(int count);
    void SenderApproved(const std::string& sender);
    void ProcessingIncomingMail();
    void ProcessingFinished();
    void CollectingWarning(const std::string& warning);
    void VerificationRequestSkipped(const std::string& deliveryPointAddress,
                                    const std::string& senderAddress, const std::string& reason);

private:
    using Event = std::function<void(MoxelCoreEventHandler&, const ThreadId&)>;

    // Delivers `event` over a copy of the handler list; `filtered` is false for UserConnected.
    void Broadcast(const Event& event, bool filtered);
    // Calls `event` on `handler` unless it was removed meanwhile, recording the call as running.
    void DeliverTo(MoxelCoreEventHandler* handler, const ThreadId& thread, const Event& event,
                   bool filtered);

    std::mutex mutex;
    // Signalled whenever a call of a handler ends; RemoveHandler waits on it.
    std::condition_variable callEnded;
    // Guarded by `mutex`: the registered handlers, in order.
    std::vector<MoxelCoreEventHandler*> handlers;
    // Guarded by `mutex`: the calls in progress, by handler and raising thread.
    std::map<std::pair<MoxelCoreEventHandler*, ThreadId>, int> runningCalls;
};
