#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "database/QueryResult.h"
#include "database/SqliteDatabase.h"

namespace DatabaseLayer {

// Each thread that touches the database has a connection of its own, opened by its first
// OpenThreadConnection and closed by the matching last CloseThreadConnection (calls nest).
// Programs call InitializeThreadData/ReleaseThreadData (core), which use these.

// Opens the calling thread's connection to `databaseFile` unless it has one; counts the call.
// A file that cannot be opened throws SqliteException (untranslated) and counts nothing.
void OpenThreadConnection(const std::filesystem::path& databaseFile);
// Undoes one OpenThreadConnection; the last one closes the connection.
void CloseThreadConnection();

// The calling thread's connection; throws Exception
// "Call InitializeThreadData before using this function" when it has none.
SqliteDatabase& GetThreadDatabase();

// The operations of SqliteDatabase on the calling thread's connection, retried while the
// database is busy; every other failure throws Exception with the database message.
int ExecuteStatement(const std::string& sql);
int ExecuteScalar(const std::string& sql);
QueryResult ExecuteQuery(const std::string& sql);
// With `parameters` bound to ?1, ?2 ... (see SqliteDatabase::ExecuteQuery).
QueryResult ExecuteQuery(const std::string& sql, std::span<const std::int64_t> parameters);
std::int64_t GetLastInsertId();

}  // namespace DatabaseLayer
