#include "popserver/MailDrop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "database/DurableStorage.h"
#include "database/LetterBoxData.h"
#include "database/Transaction.h"
#include "popserver/LetterUniqueId.h"

MailDrop::MailDrop(std::shared_ptr<LetterBoxProvider> providerIn)
    : provider(std::move(providerIn)) {}

MailDrop::~MailDrop() {
    try {
        const LetterBoxPtr box = provider->GetLetterBox();
        if (box && box->IsOpen()) {
            DatabaseLayer::Transaction transaction;
            box->Close();
        }
    } catch (...) {
        // A destructor must not throw; the next start frees boxes left open.
    }
}

void MailDrop::Login(const std::string& userName, const std::string& password, int timeoutSeconds) {
    try {
        provider->Login(userName, password);
    } catch (const Exception& failure) {
        throw LoginFailureException(failure.what());
    }
    const LetterBoxPtr box = provider->GetLetterBox();
    if (!box) {
        throw LoginFailureException("Unable to open LetterBox");
    }
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        bool opened = false;
        {
            DatabaseLayer::Transaction transaction;
            opened = box->Open();
        }
        if (opened) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw LoginFailureException("Unable to open LetterBox");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    marks.clear();
    letterKeys = box->GetLetterIds();
    sizes.assign(letterKeys.size(), std::nullopt);
}

bool MailDrop::IsLoggedIn() const {
    const LetterBoxPtr box = provider->GetLetterBox();
    return box && box->IsOpen();
}

int MailDrop::GetLetterCount() const {
    RequireLogin();
    return static_cast<int>(letterKeys.size());
}

int MailDrop::GetUndeletedCount() const {
    RequireLogin();
    return static_cast<int>(letterKeys.size() - marks.size());
}

std::uint64_t MailDrop::GetUndeletedSize() const {
    RequireLogin();
    std::uint64_t total = 0;
    for (int index = 0; index < static_cast<int>(letterKeys.size()); ++index) {
        if (!IsDeleted(index)) {
            total += GetLetterSize(index);
        }
    }
    return total;
}

std::uint64_t MailDrop::GetLetterSize(int index) const {
    CheckIndex(index);
    CheckNotMarked(index);
    RequireLogin();
    auto& size = sizes[static_cast<std::size_t>(index)];
    if (!size) {
        size = GetLetter(index)->GetSize();
    }
    return *size;
}

std::string MailDrop::GetLetterText(int index) const {
    return GetLetter(index)->GetText();
}

std::string MailDrop::GetLetterTop(int index, int lines) const {
    return GetLetter(index)->GetTop(lines);
}

std::string MailDrop::GetUniqueId(int index) const {
    const LetterPtr letter = GetLetter(index);
    return LetterUniqueId(letter->GetText(), letterKeys[static_cast<std::size_t>(index)]);
}

bool MailDrop::IsDeleted(int index) const {
    CheckIndex(index);
    RequireLogin();
    return std::find(marks.begin(), marks.end(), index) != marks.end();
}

void MailDrop::MarkDeleted(int index) {
    CheckIndex(index);
    CheckNotMarked(index);
    RequireLogin();
    marks.push_back(index);
}

void MailDrop::ResetDeleted() {
    RequireLogin();
    marks.clear();
}

void MailDrop::Update() {
    if (!IsLoggedIn()) {
        return;
    }
    const LetterBoxPtr box = provider->GetLetterBox();
    {
        DatabaseLayer::Transaction transaction;
        for (const int index : marks) {
            box->RemoveLetter(letterKeys[static_cast<std::size_t>(index)]);
        }
    }
    // The client is told the letters are gone: they must stay gone after a power failure.
    if (!marks.empty()) {
        DatabaseLayer::SyncDatabase();
    }
    marks.clear();
}

void MailDrop::Logout() {
    RequireLogin();
    marks.clear();
    const LetterBoxPtr box = provider->GetLetterBox();
    {
        DatabaseLayer::Transaction transaction;
        box->Close();
    }
    provider->Logout();
}

void MailDrop::CheckIndex(int index) const {
    if (index < 0 || index >= GetLetterCount()) {
        throw InvalidLetterIndexException();
    }
}

void MailDrop::CheckNotMarked(int index) const {
    if (std::find(marks.begin(), marks.end(), index) != marks.end()) {
        throw LetterDeletedException();
    }
}

void MailDrop::RequireLogin() const {
    if (!IsLoggedIn()) {
        throw LoggedOutException();
    }
}

LetterPtr MailDrop::GetLetter(int index) const {
    CheckIndex(index);
    CheckNotMarked(index);
    RequireLogin();
    const LetterPtr letter =
        provider->GetLetterBox()->GetLetter(letterKeys[static_cast<std::size_t>(index)]);
    if (!letter) {
        throw Exception("Internal error in MailDrop::GetLetter: the letter is gone");
    }
    return letter;
}
