#include "core/MoxelCore.h"

#include "postoffice/PopPostOffice.h"

MoxelCore::MoxelCore(PopPostOffice& postOfficeIn)
    : MoxelCore(postOfficeIn, std::make_shared<EventReporter>()) {}

MoxelCore::MoxelCore(PopPostOffice& postOfficeIn, std::shared_ptr<EventReporter> reporter)
    : postOffice(postOfficeIn), eventReporter(std::move(reporter)) {
    postOffice.SetEventReporter(eventReporter);
}

bool MoxelCore::IsAccountRegistered(const LetterBoxKey& key) {
    return postOffice.IsAccountRegistered(key);
}

void MoxelCore::RegisterPlaceholderAccount(const LetterBoxKey& key) {
    postOffice.RegisterPlaceholderAccount(key);
}

void MoxelCore::TurnPlaceholderDeliveryPointIntoPopPoint(const LetterBoxKey& key) {
    postOffice.TurnPlaceholderDeliveryPointIntoPopPoint(key);
}

void MoxelCore::PrepareDeliveryPointForUnregistration(const LetterBoxKey& key) {
    postOffice.PrepareDeliveryPointForUnregistration(key);
}

void MoxelCore::UnregisterAccount(const LetterBoxKey& key) {
    postOffice.UnregisterAccount(key);
}

void MoxelCore::RemoveAccount(const LetterBoxKey& key) {
    postOffice.UnregisterAccount(key);
}

std::vector<LetterBoxKey> MoxelCore::GetRegisteredAccounts() {
    return postOffice.GetRegisteredAccounts();
}
