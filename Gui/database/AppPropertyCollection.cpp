#include "database/AppPropertyCollection.h"

#include <iterator>
#include <memory>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Identity.h"
#include "database/QuoteText.h"
#include "database/TextNumbers.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"

namespace DatabaseLayer {

namespace {

constexpr std::int64_t kSettingsCollectionId = 1;
constexpr std::int64_t kNoRow = -1;

// Set by LoadAppProperties on the application thread before other threads start; read by all.
std::unique_ptr<AppPropertyCollection> processSettings;

std::string BuildDefaultVerificationRequestBody() {
    const char* const lines[] = {
        "***** THIS IS AN AUTOMATED RESPONSE ***** ",
        "",
        "Hello,",
        "",
        "You recently sent a message to %2% from %1%.",
        "",
        "YOU NEED TO VERIFY YOUR EMAIL ADDRESS BEFORE YOUR MESSAGE CAN BE RECEIVED",
        "",
        "Because of amount of spam I'm receiving every day I'm now using a system",
        "that blocks junk mail.",
        "",
        "The system let's me only see messages sent from email addresses that are in",
        "my whitelist.",
        "",
        "Unfortunately, your email address in not in the whitelist yet. In order",
        "to add it there, PLEASE REPLY TO THIS MESSAGE.",
        "",
        "In your email program:",
        "1. Click \"Reply\"",
        "2. Click \"Send\".",
        "",
        "After you do this, both your original message and new messages will be",
        "delivered to my inbox. There's no need to send your original message again.",
        "",
        "Note: Please keep the verification code in the subject intact.",
        "",
        "",
        "Ostrand Moxel",
        Identity::kHomePage,
        "",
        "***** THIS IS AN AUTOMATED RESPONSE *****",
    };
    std::string body = lines[0];
    for (std::size_t index = 1; index < std::size(lines); ++index) {
        body += '\n';
        body += lines[index];
    }
    return body;
}

}  // namespace

AppPropertyCollection::AppPropertyCollection() = default;

AppPropertyCollection::AppPropertyCollection(std::int64_t existingId)
    : ObjectDataCollectionEx(existingId) {}

std::int64_t AppPropertyCollection::FindProperty(const std::string& key) const {
    auto row = ExecuteQuery(Format("SELECT id FROM %1% WHERE name = '%2%' AND collectionId = %3%;",
                                   AppPropertyTable().TableName(), QuoteText(key), id));
    return row.AtEnd() ? kNoRow : row.GetInt64Field("id");
}

std::string AppPropertyCollection::GetValue(const std::string& key) {
    {
        std::lock_guard lock(cacheMutex);
        const auto cached = valueCache.find(key);
        if (cached != valueCache.end()) {
            return cached->second;
        }
    }
    const std::int64_t found = FindProperty(key);
    if (found == kNoRow) {
        return {};
    }
    const std::string value = AppProperty(found).GetValue();
    std::lock_guard lock(cacheMutex);
    // A value written by another thread since the read above is newer: keep that one.
    return valueCache.emplace(key, value).first->second;
}

void AppPropertyCollection::SetValue(const std::string& key, const std::string& value) {
    try {
        Transaction transaction;
        const std::int64_t found = FindProperty(key);
        if (found == kNoRow) {
            AddToCollection(AppProperty(key, value));
        } else {
            AppProperty(found).SetValue(value);
        }
        // Cached while the write lock is still held, so that writers update the cache in the
        // order in which their values reach the database.
        std::lock_guard lock(cacheMutex);
        valueCache[key] = value;
    } catch (...) {
        std::lock_guard lock(cacheMutex);
        valueCache.erase(key);
        throw;
    }
}

void AppPropertyCollection::ForgetValue(const std::string& key) {
    std::lock_guard lock(cacheMutex);
    valueCache.erase(key);
}

std::string AppPropertyCollection::GetTextValue(const std::string& key,
                                                const std::string& defaultValue) {
    std::string value = GetValue(key);
    return value.empty() ? defaultValue : value;
}

int AppPropertyCollection::GetIntValue(const std::string& key, int defaultValue) {
    const std::string value = GetValue(key);
    return value.empty() ? defaultValue : ParseInt32(value);
}

bool AppPropertyCollection::GetBoolValue(const std::string& key, bool defaultValue) {
    const std::string value = GetValue(key);
    return value.empty() ? defaultValue : value == "true";
}

int AppPropertyCollection::GetPopPort() {
    return GetIntValue(kPopPort, 110);
}

int AppPropertyCollection::GetWorkInterval() {
    return GetIntValue(kWorkInterval, 300);
}

std::string AppPropertyCollection::GetVerificationRequestBody() {
    return GetTextValue(kVerificationRequestBody, GetDefaultVerificationRequestBody());
}

std::string AppPropertyCollection::GetVerificationRequestSubject() {
    return GetTextValue(kVerificationRequestSubject, "Re: %1% [%2%]");
}

std::int64_t AppPropertyCollection::GetDisabledToolTips() {
    return ParseInt64(GetValue(kDisabledToolTips));
}

bool AppPropertyCollection::IsToolTipEnabled(std::int64_t bit) {
    return (GetDisabledToolTips() & bit) != bit;
}

void AppPropertyCollection::SetToolTipEnabled(std::int64_t bit, bool enabled) {
    const std::int64_t mask = GetDisabledToolTips();
    SetValue(kDisabledToolTips, std::to_string(enabled ? (mask & ~bit) : (mask | bit)));
}

bool AppPropertyCollection::GetLeaveCopies() {
    return GetBoolValue(kLeaveCopies, false);
}

void AppPropertyCollection::SetLeaveCopies(bool leaveCopies) {
    SetValue(kLeaveCopies, leaveCopies ? "true" : "false");
}

bool AppPropertyCollection::GetLiveUpdate() {
    return GetBoolValue(kLiveUpdate, true);
}

bool AppPropertyCollection::GetHeldMailDigest() {
    return GetBoolValue(kHeldMailDigest, true);
}

std::int64_t AppPropertyCollection::GetPopPostOfficeRowId() {
    return ParseInt64(GetValue(kPopPostOfficeRowId));
}

void AppPropertyCollection::SetPopPostOfficeRowId(std::int64_t postOfficeId) {
    SetValue(kPopPostOfficeRowId, std::to_string(postOfficeId));
}

const std::string& AppPropertyCollection::GetDefaultVerificationRequestBody() {
    static const std::string body = BuildDefaultVerificationRequestBody();
    return body;
}

void LoadAppProperties() {
    std::unique_ptr<AppPropertyCollection> settings;
    try {
        if (AppPropertyCollection::TableType().Exists(kSettingsCollectionId)) {
            settings = std::make_unique<AppPropertyCollection>(kSettingsCollectionId);
        }
    } catch (const Exception&) {
        // Treated like a missing collection: a new one is made below.
    }
    if (!settings) {
        settings = std::make_unique<AppPropertyCollection>();
        settings->SetPersistent(true);
    }
    processSettings = std::move(settings);
}

AppPropertyCollection& GetAppProperties() {
    if (!processSettings) {
        throw Exception("Internal error in GetAppProperties(): the settings are not loaded");
    }
    return *processSettings;
}

}  // namespace DatabaseLayer
