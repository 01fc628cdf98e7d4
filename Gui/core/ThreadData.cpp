#include "core/ThreadData.h"

#include <atomic>
#include <mutex>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/PrivateFiles.h"
#include "database/AppPropertyCollection.h"
#include "database/Schema.h"
#include "database/SqliteException.h"
#include "database/ThreadDatabase.h"
#include "database/tables/LetterBoxDataTable.h"
#include "dispatch/DispatchTypes.h"
#include "postoffice/PostOfficeTypes.h"

using namespace DatabaseLayer;

namespace {

// Set once the once-per-process preparation has succeeded; read by every thread.
std::atomic<bool> processInitialized{false};
std::mutex processInitializationMutex;

void OpenDatabase() {
    const auto file = GetDatabasePath();
    // SQLite would create the file readable by all (and its journals after it). When this fails,
    // SQLite's own open below reports the reason.
    CreatePrivateFile(file);
    try {
        OpenThreadConnection(file);
    } catch (const SqliteException& error) {
        throw Exception("Cannot open the database " + file.string() + ": " + error.Message());
    }
    try {
        // SQLite opens lazily: make it read the file now, so that a file that is no database
        // is reported here, by name, and left untouched.
        ExecuteScalar("SELECT COUNT(*) FROM sqlite_master;");
    } catch (const Exception& error) {
        CloseThreadConnection();
        throw Exception("Cannot open the database " + file.string() + ": " + error.what());
    }
}

void PrepareProcess() {
    // Write-ahead logging: readers (the local POP3 sessions) never block the collection's commits,
    // and each commit costs one sync instead of several. The setting stays with the file.
    ExecuteStatement("PRAGMA journal_mode=WAL;");
    CreateAllTables();
    LoadAppProperties();
    RegisterPostOfficeTypes();
    RegisterDispatchTypes();
    // No letter box counts as opened by a thread of an earlier run.
    ExecuteStatement(Format("UPDATE %1% SET OpenCount = 0, OpeningThreadId = -1;",
                            LetterBoxDataTable().TableName()));
}

}  // namespace

void InitializeThreadData() {
    OpenDatabase();
    if (processInitialized.load()) {
        return;
    }
    std::lock_guard lock(processInitializationMutex);
    if (processInitialized.load()) {
        return;
    }
    try {
        PrepareProcess();
    } catch (...) {
        CloseThreadConnection();
        throw;
    }
    processInitialized.store(true);
}

void ReleaseThreadData() {
    CloseThreadConnection();
}
