#include "database/ThreadDatabase.h"

#include <memory>
#include <mutex>

#include "core/Exception.h"
#include "database/TranslateDatabaseError.h"

namespace DatabaseLayer {

namespace {

// Each thread's own connection and how many opens of it are not yet released.
struct ThreadConnection {
    int references = 0;
    std::unique_ptr<SqliteDatabase> database;
};

thread_local ThreadConnection threadConnection;

// Serialises opening, closing and looking up connections across threads, as the SQLite library
// may be asked to open the same file from several threads at once.
std::recursive_mutex& ConnectionMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace

void OpenThreadConnection(const std::filesystem::path& databaseFile) {
    std::lock_guard lock(ConnectionMutex());
    if (threadConnection.references == 0) {
        auto database = std::make_unique<SqliteDatabase>();
        database->Open(databaseFile.string());
        // Commits are not synced one by one: what must outlive a power failure is synced as a
        // whole right before the step that relies on it (DurableStorage.h). In write-ahead
        // logging a crash then loses at worst the latest commits, never the database.
        database->ExecuteStatement("PRAGMA synchronous=NORMAL;");
        threadConnection.database = std::move(database);
    }
    ++threadConnection.references;
}

void CloseThreadConnection() {
    std::lock_guard lock(ConnectionMutex());
    if (threadConnection.references == 0) {
        return;
    }
    if (--threadConnection.references == 0) {
        threadConnection.database.reset();
    }
}

SqliteDatabase& GetThreadDatabase() {
    // The connection is the calling thread's own: no lock is needed to find it.
    if (!threadConnection.database) {
        throw Exception("Call InitializeThreadData before using this function");
    }
    return *threadConnection.database;
}

int ExecuteStatement(const std::string& sql) {
    return TranslateDatabaseError([&] { return GetThreadDatabase().ExecuteStatement(sql); });
}

int ExecuteScalar(const std::string& sql) {
    return TranslateDatabaseError([&] { return GetThreadDatabase().ExecuteScalar(sql); });
}

QueryResult ExecuteQuery(const std::string& sql) {
    return TranslateDatabaseError(
        [&] { return QueryResult(GetThreadDatabase().ExecuteQuery(sql)); });
}

QueryResult ExecuteQuery(const std::string& sql, std::span<const std::int64_t> parameters) {
    return TranslateDatabaseError(
        [&] { return QueryResult(GetThreadDatabase().ExecuteQuery(sql, parameters)); });
}

std::int64_t GetLastInsertId() {
    return TranslateDatabaseError([&] { return GetThreadDatabase().LastInsertId(); });
}

}  // namespace DatabaseLayer
