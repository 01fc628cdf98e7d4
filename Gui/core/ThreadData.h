#pragma once

// Every thread that touches the database calls InitializeThreadData first and ReleaseThreadData
// when it is done (calls nest; the last release closes the thread's connection).
// The first call in the process also prepares the database: creates the tables, registers the
// object types, loads the settings and frees letter boxes left open by an earlier run. That
// first call must happen on the application thread before any other thread uses the database.
//
// A database that cannot be opened or is not a database throws Exception naming the file and
// SQLite's reason; nothing is counted then.
void InitializeThreadData();
void ReleaseThreadData();

// Scope guard for worker threads: initialises on construction, releases on destruction.
class ThreadDataScope {
public:
    ThreadDataScope() { InitializeThreadData(); }
    ~ThreadDataScope() { ReleaseThreadData(); }
    ThreadDataScope(const ThreadDataScope&) = delete;
    ThreadDataScope& operator=(const ThreadDataScope&) = delete;
};
