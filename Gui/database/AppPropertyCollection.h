#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "database/AppProperty.h"
#include "database/ObjectDataCollection.h"

namespace DatabaseLayer {

// The program's settings: name/value rows in one collection (id 1 once created), with typed
// accessors that apply each key's default when its value is empty. Values found in or written
// to the database are cached for the rest of the run.
//
// One process-wide instance (GetAppProperties) shared by every thread: each call runs on the
// calling thread's own database connection, and the cache is guarded.
class AppPropertyCollection : public ObjectDataCollection<AppProperty> {
public:
    static constexpr const char* kPopPort = "PopPort";
    static constexpr const char* kWorkInterval = "WorkInterval";
    static constexpr const char* kVerificationRequestBody = "VerificationRequestBody";
    static constexpr const char* kVerificationRequestSubject = "VerificationRequestSubject";
    static constexpr const char* kDisabledToolTips = "DisabledToolTips";
    static constexpr const char* kLeaveCopies = "LeaveCopies";
    static constexpr const char* kLiveUpdate = "LiveUpdate";
    static constexpr const char* kPopPostOfficeRowId = "PopPostOfficeRowId";
    static constexpr const char* kHeldMailDigest = "HeldMailDigest";

    // Tool-tip bits of "DisabledToolTips".
    static constexpr std::int64_t kIncompleteSettingsToolTip = 1;
    static constexpr std::int64_t kNoInternetConnectionToolTip = 2;

    // A new collection row; not persistent.
    AppPropertyCollection();
    // The existing collection row `existingId`.
    explicit AppPropertyCollection(std::int64_t existingId);

    // The stored value of `key`, or the empty text when the key has no row (then not cached).
    // Throws Exception on a database error.
    std::string GetValue(const std::string& key);
    // Drops the cached value of `key`, so that the next read asks the database: for a value
    // written in a transaction that was undone after SetValue returned.
    void ForgetValue(const std::string& key);
    // Stores `value` under `key` (one row per key) in one transaction. Throws Exception on a
    // database error; the key is then read afresh from the database next time.
    void SetValue(const std::string& key, const std::string& value);

    // TCP port of the local POP3 server; 110 when unset.
    int GetPopPort();
    // Seconds between two collection rounds; 300 when unset.
    int GetWorkInterval();
    // Body of a verification request ("%1%" the sender, "%2%" the protected address).
    std::string GetVerificationRequestBody();
    // Subject of a verification request ("%1%" the original subject, "%2%" the code).
    std::string GetVerificationRequestSubject();
    // The mask of disabled tool tips; 0 when unset.
    std::int64_t GetDisabledToolTips();
    // True when the tip `bit` is not disabled.
    bool IsToolTipEnabled(std::int64_t bit);
    void SetToolTipEnabled(std::int64_t bit, bool enabled);
    // Leave downloaded letters on the POP3 server; false unless stored as "true".
    bool GetLeaveCopies();
    void SetLeaveCopies(bool leaveCopies);
    // Look for a new program version; true when unset, else only "true" is true.
    bool GetLiveUpdate();
    // Send the daily digest of held mail; true when unset, else only "true" is true.
    bool GetHeldMailDigest();
    // The row id of the application's POP post office; 0 when unset.
    std::int64_t GetPopPostOfficeRowId();
    void SetPopPostOfficeRowId(std::int64_t id);

    // The verification request body used while none is stored.
    static const std::string& GetDefaultVerificationRequestBody();

private:
    // The id of the row of `key` in this collection, or -1.
    std::int64_t FindProperty(const std::string& key) const;
    std::string GetTextValue(const std::string& key, const std::string& defaultValue);
    int GetIntValue(const std::string& key, int defaultValue);
    bool GetBoolValue(const std::string& key, bool defaultValue);

    std::mutex cacheMutex;
    // Guarded by `cacheMutex`: values known to be stored, by key.
    std::map<std::string, std::string> valueCache;
};

// Opens the settings collection (id 1), or creates it when the database has none, and makes it
// the process-wide instance. Called once by the first InitializeThreadData, while no other
// thread uses the settings. Throws Exception when the collection cannot be created.
void LoadAppProperties();

// The process-wide settings. Throws Exception when LoadAppProperties has not run.
AppPropertyCollection& GetAppProperties();

}  // namespace DatabaseLayer

using DatabaseLayer::AppPropertyCollection;
using DatabaseLayer::GetAppProperties;
