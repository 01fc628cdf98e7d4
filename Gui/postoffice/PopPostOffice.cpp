#include "postoffice/PopPostOffice.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "postoffice/PlaceholderPopClient.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TarnwellPopClient.h"
#include "postoffice/UpstreamServer.h"

using DatabaseLayer::ExecuteScalar;
using DatabaseLayer::Transaction;

namespace {

// The point's distributor, valid while `point` lives; null without a POP distributor.
PopLetterDistributor* PopDistributorOf(const MailDeliveryPointPtr& point) {
    return point ? dynamic_cast<PopLetterDistributor*>(point->GetDistributor().get()) : nullptr;
}

bool HasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

}  // namespace

PopPostOffice::PopPostOffice() : PostOffice(std::make_shared<TarnwellSmtpDispatchPoint>()) {}

PopPostOffice::PopPostOffice(std::int64_t id) : PostOffice(id) {}

MailDeliveryPointPtr PopPostOffice::NewPoint(const LetterBoxKey& key, const std::string& password,
                                             bool placeholder) {
    const auto server = UpstreamServer::Parse(key.GetHost());
    PopClientPtr client;
    if (placeholder) {
        client = std::make_shared<PlaceholderPopClient>(server.host, key.GetUserName(), password,
                                                        server.port, kTimeoutInSeconds);
    } else {
        client = std::make_shared<TarnwellPopClient>(server.host, key.GetUserName(), password,
                                                     server.port, kTimeoutInSeconds);
    }
    return std::make_shared<MailDeliveryPoint>(key.GetAddress(),
                                               std::make_shared<PopLetterDistributor>(client));
}

void PopPostOffice::RegisterAccount(const LetterBoxKey& key, const std::string& password,
                                    bool placeholder) {
    Transaction transaction;
    // Not attached, the new point deletes its rows when it goes out of scope.
    const auto point = NewPoint(key, password, placeholder);
    AttachDeliveryPoint(key, *point);
}

void PopPostOffice::RegisterPlaceholderAccount(const LetterBoxKey& key) {
    RegisterAccount(key, "", true);
}

void PopPostOffice::RegisterPopAccount(const LetterBoxKey& key, const std::string& password) {
    RegisterAccount(key, password, false);
}

bool PopPostOffice::IsAccountRegistered(const LetterBoxKey& key) {
    return ExecuteScalar(Format(
               "SELECT COUNT (*) FROM %1% WHERE collectionId = %2% AND letterBoxKey = '%3%';",
               DatabaseLayer::MailDeliveryPointDataTable().TableName(), GetDeliveryPoints().GetId(),
               DatabaseLayer::QuoteText(key.ToString()))) > 0;
}

void PopPostOffice::UpdatePassword(const LetterBoxKey& key, const std::string& password) {
    const auto point = FindDeliveryPoint(key);  // owns the distributor
    if (auto* distributor = PopDistributorOf(point)) {
        distributor->GetPopClient()->SetPassword(password);
    }
}

void PopPostOffice::TurnPlaceholderDeliveryPointIntoPopPoint(const LetterBoxKey& key) {
    Transaction transaction;
    const auto point = FindDeliveryPoint(key);
    auto* distributor = PopDistributorOf(point);
    if (distributor == nullptr) {
        throw Exception(
            "Internal error in PopPostOffice::TurnPlaceholderDeliveryPointIntoPopPoint");
    }
    const auto server = UpstreamServer::Parse(key.GetHost());
    distributor->ReplacePopClient(std::make_shared<TarnwellPopClient>(
        server.host, key.GetUserName(), distributor->GetPopClient()->GetPassword(), server.port,
        kTimeoutInSeconds));
}

void PopPostOffice::PrepareDeliveryPointForUnregistration(const LetterBoxKey& key) {
    Transaction transaction;
    const auto oldPoint = FindDeliveryPoint(key);
    if (!oldPoint) {
        throw Exception("Internal error in PopPostOffice::PrepareDeliveryPointForUnregistration");
    }
    oldPoint->ReleaseAllLetters();
    const auto newPoint = NewPoint(key, "", true);
    {
        LetterBoxLock oldInbox(oldPoint->GetInbox());
        LetterBoxLock newInbox(newPoint->GetInbox());
        oldPoint->GetInbox()->MoveAllLettersTo(*newPoint->GetInbox());
    }
    UnregisterAccount(key);
    if (!AttachDeliveryPoint(key, *newPoint)) {
        throw Exception("Internal error in PopPostOffice::PrepareDeliveryPointForUnregistration");
    }
}

void PopPostOffice::UnregisterAccount(const LetterBoxKey& key) {
    GetDeliveryPoints().Detach(key);
}

std::vector<LetterBoxKey> PopPostOffice::GetAllAccounts() {
    std::vector<LetterBoxKey> keys;
    for (const auto id : GetDeliveryPoints().GetElementIds()) {
        const auto text = MailDeliveryPoint(id).GetLetterBoxKey();
        if (LetterBoxKey::IsValid(text)) {
            keys.push_back(LetterBoxKey::Parse(text));
        }
    }
    return keys;
}

std::vector<LetterBoxKey> PopPostOffice::GetRegisteredAccounts() {
    std::vector<LetterBoxKey> keys;
    for (const auto& key : GetAllAccounts()) {
        try {
            const auto point = FindDeliveryPoint(key);  // owns the distributor
            auto* distributor = PopDistributorOf(point);
            if (distributor != nullptr &&
                dynamic_cast<TarnwellPopClient*>(distributor->GetPopClient().get()) != nullptr) {
                keys.push_back(key);
            }
        } catch (const Exception&) {
            // An account that cannot be read (removed meanwhile) is not listed.
        }
    }
    return keys;
}

std::vector<PopPostOffice::AccountStatus> PopPostOffice::GetAccountStatuses() {
    std::vector<AccountStatus> statuses;
    for (const auto& key : GetAllAccounts()) {
        const auto point = FindDeliveryPoint(key);
        if (!point) {
            continue;  // removed meanwhile
        }
        AccountStatus status{key};
        auto* distributor = PopDistributorOf(point);
        status.placeholder =
            distributor == nullptr ||
            dynamic_cast<TarnwellPopClient*>(distributor->GetPopClient().get()) == nullptr;
        status.inbox = point->GetInbox()->GetElementCount();
        status.held = point->GetPendingLetters()->GetElementCount() +
                      point->GetRecentLetters()->GetElementCount();
        statuses.push_back(status);
    }
    return statuses;
}

int PopPostOffice::CountLettersToSend() const {
    return GetDispatchPoint()->GetLetterBox().GetElementCount();
}

void PopPostOffice::MailProgramLoggedIn(const std::string& userName, const std::string& password) {
    // Both texts come from the network: a NUL byte would be cut off on its way to the database
    // and to the upstream server.
    if (HasNul(userName)) {
        throw Exception("Invalid LetterBoxKey");
    }
    if (HasNul(password)) {
        throw Exception("Invalid password");
    }
    const auto key = LetterBoxKey::Parse(userName);
    Transaction transaction;
    if (IsAccountRegistered(key)) {
        UpdatePassword(key, password);
    } else {
        RegisterPopAccount(key, password);
    }
}

PopPostOffice::LoginHook PopPostOffice::GetLoginHook() {
    return [this](const std::string& userName, const std::string& password) {
        MailProgramLoggedIn(userName, password);
    };
}

std::shared_ptr<TarnwellSmtpDispatchPoint> PopPostOffice::GetSmtpDispatchPoint() const {
    auto point = std::dynamic_pointer_cast<TarnwellSmtpDispatchPoint>(GetDispatchPoint());
    if (!point) {
        throw Exception(
            "Internal error: PopPostOffice: dispatch point is not TarnwellSmtpDispatchPoint");
    }
    return point;
}
