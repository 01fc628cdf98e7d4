#pragma once

#include <memory>
#include <vector>

#include "core/EventReporter.h"
#include "database/LetterBoxKey.h"

class PopPostOffice;

// The object through which the desktop shell and the mail program integration reach the post
// office: it holds the program's event reporter, which it hands to the post office so that
// everything the post office reports reaches the handlers registered here, and forwards the
// account operations unchanged. The post office belongs to the application and outlives the
// core's use. Used on the application thread; the reporter on any thread.
class MoxelCore {
public:
    // Hands a new reporter with no handlers to `postOffice`.
    explicit MoxelCore(PopPostOffice& postOffice);
    // Hands `reporter` to `postOffice` (the application's, with its loggers).
    MoxelCore(PopPostOffice& postOffice, std::shared_ptr<EventReporter> reporter);

    PopPostOffice& GetPostOffice() { return postOffice; }
    const std::shared_ptr<EventReporter>& GetEventReporter() const { return eventReporter; }
    // Registers `handler` unless it is registered already.
    void AddHandler(MoxelCoreEventHandler* handler) { eventReporter->AddHandler(handler); }

    // Forwarders to the post office's account operations, same arguments, same results.
    bool IsAccountRegistered(const LetterBoxKey& key);
    void RegisterPlaceholderAccount(const LetterBoxKey& key);
    void TurnPlaceholderDeliveryPointIntoPopPoint(const LetterBoxKey& key);
    void PrepareDeliveryPointForUnregistration(const LetterBoxKey& key);
    // Removal by the integration wizard.
    void UnregisterAccount(const LetterBoxKey& key);
    // Removal from the accounts dialog.
    void RemoveAccount(const LetterBoxKey& key);
    std::vector<LetterBoxKey> GetRegisteredAccounts();

private:
    PopPostOffice& postOffice;
    std::shared_ptr<EventReporter> eventReporter;
};
