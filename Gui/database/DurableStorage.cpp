#include "database/DurableStorage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "database/HugeItemCollection.h"
#include "database/ThreadDatabase.h"

namespace fs = std::filesystem;

namespace DatabaseLayer {

namespace {

// Syncs the file or folder at `path` through a descriptor of our own; a file that does not
// exist (no log while no connection is open) has nothing to sync. Never for the main database
// file: closing a descriptor of it would drop every POSIX lock SQLite holds on it in this
// process, and another process could then take the log away from under the running copy. The
// log and the folder carry none of SQLite's locks.
void SyncPath(const fs::path& path, bool mayBeMissing) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (mayBeMissing && errno == ENOENT) {
            return;
        }
        throw Exception(Format("Error writing to file %1%", path.string()));
    }
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    ::close(fd);
    if (result != 0) {
        throw Exception(Format("Error writing to file %1%", path.string()));
    }
}

// Syncs the main database file through the calling thread's connection, with SQLite's own
// descriptor (see SyncPath for why).
void SyncMainFile(const fs::path& path) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(GetThreadDatabase().Handle(), "main", SQLITE_FCNTL_FILE_POINTER,
                             &file) != SQLITE_OK ||
        file == nullptr || file->pMethods == nullptr) {
        return;
    }
    if (file->pMethods->xSync(file, SQLITE_SYNC_FULL) != SQLITE_OK) {
        throw Exception(Format("Error writing to file %1%", path.string()));
    }
}

}  // namespace

void SyncDatabase() {
    // fsync works on the file, whichever descriptor asks: the commits of every connection of the
    // process, written to the log without a sync of their own, reach the disk through this one.
    // A checkpoint already synced what it moved into the main file.
    const fs::path database = GetDatabasePath();
    fs::path log = database;
    log += "-wal";
    SyncPath(log, true);
    SyncMainFile(database);
    // The log's and the letter store's own entries in the folder.
    SyncPath(database.parent_path(), false);
}

void MakeStoredMailDurable() {
    // Files first: a row that survives must find its text.
    HugeItemCollection::Instance()->SyncWrittenItems();
    SyncDatabase();
}

}  // namespace DatabaseLayer
