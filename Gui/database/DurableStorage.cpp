#include "database/DurableStorage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "database/HugeItemCollection.h"

namespace fs = std::filesystem;

namespace DatabaseLayer {

namespace {

// Syncs the file or folder at `path`; a file that does not exist (no write-ahead log while no
// connection is open) has nothing to sync.
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

}  // namespace

void SyncDatabase() {
    // fsync works on the file, whichever descriptor asks: SQLite's commits, written to the log
    // without a sync of their own, reach the disk through this one. A checkpoint already synced
    // what it moved into the main file; syncing that too costs nothing then.
    const fs::path database = GetDatabasePath();
    fs::path log = database;
    log += "-wal";
    SyncPath(log, true);
    SyncPath(database, false);
    // The log's and the letter store's own entries in the folder.
    SyncPath(database.parent_path(), false);
}

void MakeStoredMailDurable() {
    // Files first: a row that survives must find its text.
    HugeItemCollection::Instance()->SyncWrittenItems();
    SyncDatabase();
}

}  // namespace DatabaseLayer
