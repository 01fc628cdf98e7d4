#include "database/HugeItemCollection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/PrivateFiles.h"

namespace fs = std::filesystem;

namespace {

// rand() gives 0..32767; names are drawn from the same range.
constexpr int kNameCount = 32768;
constexpr int kRandomDraws = 64;

Exception WriteError(const fs::path& path) {
    return Exception(Format("Error writing to file %1%", path.string()));
}

Exception ReadError(const fs::path& path) {
    return Exception(Format("Error reading file %1%", path.string()));
}

Exception RootError(const std::string& reason) {
    return Exception("Internal error in HugeItemCollection::HugeItemCollection", Exception(reason));
}

bool IsNumber(std::string_view text) {
    return !text.empty() && text.size() <= 10 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsFree(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::not_found;
}

// Entries of `folder`, counted up to `limit`; a folder that cannot be listed counts as full.
int CountEntries(const fs::path& folder, int limit) {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end && count < limit;
         it.increment(error)) {
        ++count;
    }
    return error ? limit : count;
}

std::optional<timespec> ModifiedTime(const fs::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mtim;
}

bool SameTime(const timespec& left, const timespec& right) {
    return left.tv_sec == right.tv_sec && left.tv_nsec == right.tv_nsec;
}

// Owns one open file descriptor.
class File {
public:
    File(const fs::path& path, int flags) : fd(::open(path.c_str(), flags | O_CLOEXEC, 0600)) {}
    // Takes over an open descriptor.
    explicit File(int descriptor) : fd(descriptor) {}
    ~File() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }

    bool WriteAll(std::string_view text) const {
        while (!text.empty()) {
            const ssize_t written = ::write(fd, text.data(), text.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // Hands the content to `take` in pieces of at most 64 KiB, in order.
    bool ReadPieces(const std::function<void(std::string_view)>& take) const {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                return true;
            }
            take(std::string_view(buffer, static_cast<std::size_t>(got)));
        }
    }

    // The whole content, read straight into `text` (no copy through a buffer): room for one
    // byte more than the size known, so that one read takes the file and the next sees its end.
    bool ReadAll(std::string& text) const {
        struct stat info {};
        const std::size_t known = ::fstat(fd, &info) == 0 && info.st_size > 0
                                      ? static_cast<std::size_t>(info.st_size)
                                      : 0;
        text.resize(known + 1);
        std::size_t filled = 0;
        for (;;) {
            if (filled == text.size()) {
                // The file grew since fstat.
                text.resize(text.size() * 2);
            }
            const ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                text.clear();
                return false;
            }
            if (got == 0) {
                text.resize(filled);
                return true;
            }
            filled += static_cast<std::size_t>(got);
        }
    }

    // Puts the written content on the disk, so that it outlives a power failure.
    bool Sync() const {
        int result;
        do {
            result = ::fdatasync(fd);
        } while (result != 0 && errno == EINTR);
        return result == 0;
    }

    // Closes now, reporting the failures (such as a full disk) that show only here.
    bool Close() {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

// Puts the folder's entries (files created, renamed or removed in it) on the disk.
bool SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    ::close(fd);
    return result == 0;
}

}  // namespace

std::shared_ptr<HugeItemCollection> HugeItemCollection::Instance() {
    // Guards `current`; the store follows the data folder so that a changed MOXEL_DATA_DIR (as in
    // tests) never writes into the previous one.
    static std::mutex instanceMutex;
    static std::shared_ptr<HugeItemCollection> current;
    const fs::path root = GetDataDirectory() / "letters";
    std::lock_guard lock(instanceMutex);
    if (!current || current->Root() != root) {
        current = std::make_shared<HugeItemCollection>(root);
    }
    return current;
}

HugeItemCollection::HugeItemCollection(fs::path rootFolder)
    : root(std::move(rootFolder)), random(std::random_device{}()) {
    CreateRoot();
}

void HugeItemCollection::CreateRoot() const {
    std::error_code error;
    if (fs::is_directory(root, error)) {
        return;
    }
    if (!IsFree(root)) {
        throw RootError(root.string() + " exists but is not a folder");
    }
    CreatePrivateDirectories(root, error);
    if (error || !fs::is_directory(root)) {
        throw RootError("cannot create " + root.string() + ": " +
                        (error ? error.message() : std::string("unknown reason")));
    }
}

std::string HugeItemCollection::CreateItem() {
    int fd = -1;
    const std::string handle = CreateOpenItem(fd);
    File created(fd);
    if (!created.Close()) {
        RemoveItem(handle);
        throw WriteError(PathOf(handle));
    }
    return handle;
}

std::string HugeItemCollection::CreateOpenItem(int& fd) {
    std::lock_guard lock(mutex);
    // The folder may have been removed by hand since the store was opened.
    CreateRoot();
    std::optional<std::string> subdirectory = FindSubdirectoryWithRoom();
    if (subdirectory) {
        if (const auto name = CreateItemFile(root / *subdirectory, fd)) {
            NoteChange(*subdirectory, 1);
            return *subdirectory + "/" + *name;
        }
    }
    subdirectory = DrawFreeName(root);
    if (!subdirectory || ::mkdir((root / *subdirectory).c_str(), 0700) != 0) {
        throw WriteError(root / subdirectory.value_or(""));
    }
    unsyncedRoot = true;
    // Listed again next time: a coarse clock may leave the root's time unchanged.
    subdirectoriesListed.reset();
    const auto name = CreateItemFile(root / *subdirectory, fd);
    if (!name) {
        throw WriteError(root / *subdirectory);
    }
    NoteChange(*subdirectory, 1);
    return *subdirectory + "/" + *name;
}

std::optional<std::string> HugeItemCollection::CreateItemFile(const fs::path& folder, int& fd) {
    // The exclusive create tells a taken name at once; no look beforehand.
    const auto create = [&](const std::string& name) {
        fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            throw WriteError(folder / name);
        }
        return fd >= 0;
    };
    std::uniform_int_distribution<int> draw(0, kNameCount - 1);
    for (int attempt = 0; attempt < kRandomDraws; ++attempt) {
        std::string name = std::to_string(draw(random));
        if (create(name)) {
            return name;
        }
    }
    // A crowded folder: walk the free names, drawing again should one be taken meanwhile by
    // someone outside this process.
    for (;;) {
        std::optional<std::string> name = DrawFreeName(folder);
        if (!name || create(*name)) {
            return name;
        }
    }
}

std::string HugeItemCollection::CopyItem(const std::string& handle) {
    return CreateItemWithText(ReadItem(handle));
}

void HugeItemCollection::RemoveItem(const std::string& handle) {
    std::lock_guard lock(mutex);
    RequireValidHandle(handle);
    const fs::path file = PathOf(handle);
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        throw WriteError(file);
    }
    const std::string subdirectory = handle.substr(0, handle.find('/'));
    // Removes the subdirectory only when it is empty now; under the mutex, so that no item is
    // being created in it at the same time.
    if (::rmdir(file.parent_path().c_str()) == 0) {
        folderCounts.erase(subdirectory);
        subdirectoriesListed.reset();
    } else {
        NoteChange(subdirectory, -1);
    }
}

void HugeItemCollection::WriteItem(const std::string& handle, std::string_view text) {
    RequireValidHandle(handle);
    const fs::path file = PathOf(handle);
    fs::path temporary = file;
    temporary += ".new";
    File output(temporary, O_WRONLY | O_CREAT | O_TRUNC);
    // The text is on the disk before any row can name it: a power failure must never leave a
    // row whose text is lost, for its message would count as stored and be deleted upstream.
    const bool written = output.IsOpen() && output.WriteAll(text) && output.Sync();
    if (!written || !output.Close() || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw WriteError(file);
    }
    // The temporary file came and went: the folder changed, its entry count did not.
    std::lock_guard lock(mutex);
    NoteChange(handle.substr(0, handle.find('/')), 0);
    NoteUnsynced(handle);
}

std::string HugeItemCollection::CreateItemWithText(std::string_view text) {
    return CreateItemWithText(text, true);
}

std::string HugeItemCollection::CreateItemWithTextUnsynced(std::string_view text) {
    return CreateItemWithText(text, false);
}

std::string HugeItemCollection::CreateItemWithText(std::string_view text, bool sync) {
    int fd = -1;
    const std::string handle = CreateOpenItem(fd);
    // The item is new and named by no row yet: written in place through the descriptor that
    // created it, no temporary file is needed.
    File output(fd);
    // Synced at once, for the reason WriteItem gives, unless the caller syncs it with others
    // before a row names it.
    const bool written = output.WriteAll(text) && (!sync || output.Sync());
    if (!written || !output.Close()) {
        try {
            RemoveItem(handle);
        } catch (const Exception&) {
            // The write's failure is the one to report; the empty leftover is named by no row
            // and goes at the next start.
        }
        throw WriteError(PathOf(handle));
    }
    // Writing into an existing entry leaves the folder as it was: no NoteChange.
    std::lock_guard lock(mutex);
    NoteUnsynced(handle);
    if (!sync) {
        unsyncedTexts.insert(handle);
    }
    return handle;
}

void HugeItemCollection::SyncNewTexts() {
    std::set<std::string> texts;
    {
        std::lock_guard lock(mutex);
        texts.swap(unsyncedTexts);
    }
    if (texts.empty()) {
        return;
    }
    const auto syncEach = [&] {
        for (const auto& handle : texts) {
            File item(PathOf(handle), O_RDONLY);
            if (!item.IsOpen() ? errno != ENOENT : !item.Sync()) {
                throw WriteError(PathOf(handle));
            }
        }
    };
    try {
        File rootFolder(root, O_RDONLY | O_DIRECTORY);
        // syncfs reports the file system's write errors since Linux 5.8; a system that refuses
        // it gets a sync per file.
        if (!rootFolder.IsOpen() || ::syncfs(rootFolder.Descriptor()) != 0) {
            syncEach();
        }
    } catch (...) {
        std::lock_guard lock(mutex);
        unsyncedTexts.merge(texts);
        throw;
    }
}

void HugeItemCollection::SyncWrittenItems() {
    std::set<std::string> folders;
    bool rootChanged = false;
    {
        std::lock_guard lock(mutex);
        folders.swap(unsyncedFolders);
        std::swap(rootChanged, unsyncedRoot);
    }
    try {
        for (const auto& folder : folders) {
            if (!SyncFolder(root / folder) && errno != ENOENT) {
                throw WriteError(root / folder);
            }
        }
        if (rootChanged && !SyncFolder(root)) {
            throw WriteError(root);
        }
    } catch (...) {
        // Not known to be on the disk: the next sync tries them again.
        std::lock_guard lock(mutex);
        unsyncedFolders.merge(folders);
        unsyncedRoot = unsyncedRoot || rootChanged;
        throw;
    }
}

bool HugeItemCollection::HasUnsyncedItems() {
    std::lock_guard lock(mutex);
    return !unsyncedFolders.empty() || unsyncedRoot;
}

void HugeItemCollection::NoteUnsynced(const std::string& handle) {
    unsyncedFolders.insert(handle.substr(0, handle.find('/')));
}

std::string HugeItemCollection::ReadItem(const std::string& handle) const {
    RequireValidHandle(handle);
    const fs::path file = PathOf(handle);
    File input(file, O_RDONLY);
    std::string text;
    if (!input.IsOpen() || !input.ReadAll(text)) {
        throw ReadError(file);
    }
    return text;
}

void HugeItemCollection::ReadItemInPieces(const std::string& handle,
                                          const std::function<void(std::string_view)>& take) const {
    RequireValidHandle(handle);
    const fs::path file = PathOf(handle);
    File input(file, O_RDONLY);
    if (!input.IsOpen() || !input.ReadPieces(take)) {
        throw ReadError(file);
    }
}

HugeItemCollection::Leftovers HugeItemCollection::RemoveLeftovers(
    const std::function<bool(const std::string&)>& isNamed, bool keepUnnamed) {
    std::lock_guard lock(mutex);
    Leftovers removed;
    std::error_code error;
    for (fs::directory_iterator folder(root, error), end; !error && folder != end;
         folder.increment(error)) {
        const std::string subdirectory = folder->path().filename().string();
        std::error_code typeError;
        if (!IsNumber(subdirectory) || !folder->is_directory(typeError)) {
            continue;
        }
        std::vector<fs::path> doomed;
        std::error_code listError;
        for (fs::directory_iterator item(folder->path(), listError); !listError && item != end;
             item.increment(listError)) {
            const std::string name = item->path().filename().string();
            const bool temporary = name.size() > 4 && name.ends_with(".new") &&
                                   IsNumber(std::string_view(name).substr(0, name.size() - 4));
            const bool unnamed =
                !keepUnnamed && IsNumber(name) && !isNamed(subdirectory + "/" + name);
            if (temporary || unnamed) {
                doomed.push_back(item->path());
                ++(temporary ? removed.temporaryFiles : removed.unnamedItems);
            }
        }
        removed.notRemoved += listError ? 1 : 0;
        for (const auto& path : doomed) {
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                ++removed.notRemoved;
            }
        }
        // Gone when empty now; a folder with items stays, and its count is taken afresh.
        ::rmdir(folder->path().c_str());
        folderCounts.erase(subdirectory);
    }
    subdirectoriesListed.reset();
    removed.notRemoved += error ? 1 : 0;
    return removed;
}

bool HugeItemCollection::IsValidHandle(const std::string& handle) const {
    const std::size_t slash = handle.find('/');
    if (slash == std::string::npos || !IsNumber(std::string_view(handle).substr(0, slash)) ||
        !IsNumber(std::string_view(handle).substr(slash + 1))) {
        return false;
    }
    std::error_code error;
    return fs::is_regular_file(PathOf(handle), error);
}

void HugeItemCollection::RequireValidHandle(const std::string& handle) const {
    if (!IsValidHandle(handle)) {
        throw Exception("Invalid item handle");
    }
}

std::optional<std::string> HugeItemCollection::FindSubdirectoryWithRoom() {
    for (const auto& name : Subdirectories()) {
        if (EntriesOf(name) < kMaxEntriesPerDirectory) {
            return name;
        }
    }
    return std::nullopt;
}

const std::vector<std::string>& HugeItemCollection::Subdirectories() {
    // The time is taken before listing, so that a change made meanwhile forces a new listing.
    const std::optional<timespec> modified = ModifiedTime(root);
    if (modified && subdirectoriesListed && SameTime(*modified, *subdirectoriesListed)) {
        return subdirectories;
    }
    subdirectories.clear();
    subdirectoriesListed.reset();
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (IsNumber(it->path().filename().string()) && it->is_directory(typeError)) {
            subdirectories.push_back(it->path().filename().string());
        }
    }
    if (error) {
        subdirectories.clear();
        throw WriteError(root);
    }
    subdirectoriesListed = modified;
    return subdirectories;
}

std::optional<std::string> HugeItemCollection::DrawFreeName(const fs::path& folder) {
    std::uniform_int_distribution<int> draw(0, kNameCount - 1);
    for (int attempt = 0; attempt < kRandomDraws; ++attempt) {
        std::string name = std::to_string(draw(random));
        if (IsFree(folder / name)) {
            return name;
        }
    }
    // A crowded folder: walk every name once, from a random start.
    const int start = draw(random);
    for (int offset = 0; offset < kNameCount; ++offset) {
        std::string name = std::to_string((start + offset) % kNameCount);
        if (IsFree(folder / name)) {
            return name;
        }
    }
    return std::nullopt;
}

int HugeItemCollection::EntriesOf(const std::string& subdirectory) {
    const fs::path folder = root / subdirectory;
    // The time is taken before counting, so that a change made meanwhile forces a new count.
    const std::optional<timespec> modified = ModifiedTime(folder);
    if (!modified) {
        return kMaxEntriesPerDirectory;
    }
    const auto known = folderCounts.find(subdirectory);
    if (known != folderCounts.end() && SameTime(known->second.modified, *modified)) {
        return known->second.entries;
    }
    const int entries = CountEntries(folder, kMaxEntriesPerDirectory);
    folderCounts[subdirectory] = {entries, *modified};
    return entries;
}

void HugeItemCollection::NoteChange(const std::string& subdirectory, int entriesAdded) {
    const auto known = folderCounts.find(subdirectory);
    const std::optional<timespec> modified = ModifiedTime(root / subdirectory);
    if (known == folderCounts.end() || !modified) {
        folderCounts.erase(subdirectory);
        return;
    }
    known->second.entries += entriesAdded;
    known->second.modified = *modified;
}
