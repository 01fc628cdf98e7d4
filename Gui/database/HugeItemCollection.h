#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The letter store: one file per item below a root folder ("letters/" in the data folder),
// spread over subdirectories of fewer than 5000 entries, every name a random number 0..32767.
// A handle is "<subdirectory>/<file>", both decimal numbers, relative to the root.
//
// Thread use: one process-wide object (Instance) shared by every thread. Creating and removing
// items (which choose, create and remove subdirectories) is serialised by the object's mutex;
// reading and writing need no lock, since each item is written by the one letter that owns it.
class HugeItemCollection {
public:
    static constexpr int kMaxEntriesPerDirectory = 5000;

    // The store of the current data folder, created on first use and kept while the data folder
    // stays the same. Throws like the constructor.
    static std::shared_ptr<HugeItemCollection> Instance();

    // Opens the store at `root`, creating the folder when it is missing. Throws Exception
    // "Internal error in HugeItemCollection::HugeItemCollection" when `root` exists but is not a
    // folder or cannot be created.
    explicit HugeItemCollection(std::filesystem::path root);
    HugeItemCollection(const HugeItemCollection&) = delete;
    HugeItemCollection& operator=(const HugeItemCollection&) = delete;

    // Creates a new, empty item and returns its handle: in the first subdirectory (directory
    // order) with fewer than 5000 entries, else in a new subdirectory. Throws Exception
    // "Error writing to file <path>" when the file or its folder cannot be made.
    std::string CreateItem();
    // A new item holding a copy of `handle`'s content. Throws "Invalid item handle", or "Error
    // writing to file <path>" (no new item is left behind then).
    std::string CopyItem(const std::string& handle);
    // Removes the item, and its subdirectory when that is then empty. Throws "Invalid item
    // handle", or "Error writing to file <path>" when the file cannot be removed.
    void RemoveItem(const std::string& handle);
    // Replaces the item's content with `text`, byte for byte. The old content stays whole until
    // the new one is completely written, so a full disk loses nothing. The content is on the disk
    // when this returns; its folder entry at the next SyncWrittenItems. Throws "Invalid item
    // handle", or "Error writing to file <path>".
    void WriteItem(const std::string& handle, std::string_view text);
    // CreateItem and WriteItem in one, writing the text once. Throws "Error writing to file
    // <path>" (no new item is left behind then).
    std::string CreateItemWithText(std::string_view text);
    // CreateItemWithText without the sync: for texts that are put on the disk together with
    // SyncNewTexts before any row names them. Throws like CreateItemWithText.
    std::string CreateItemWithTextUnsynced(std::string_view text);
    // Puts the content of every item written by CreateItemWithTextUnsynced since the last call
    // on the disk: with one sync of the store's file system (a sync per file costs a journal
    // commit each), or one sync per file where that is refused. Throws "Error writing to file
    // <path>"; what was not synced then is tried again by the next call.
    void SyncNewTexts();
    // Puts the folder entries of every item written since the last call on the disk (one sync
    // per folder instead of one per write): called before anything that relies on them
    // surviving a power failure, such as deleting the messages upstream. Throws "Error writing
    // to file <path>"; what was not synced then is tried again by the next call.
    void SyncWrittenItems();
    // True while items written since the last SyncWrittenItems wait for their sync.
    bool HasUnsyncedItems();
    // The item's content, byte for byte. Throws "Invalid item handle", or "Error reading file
    // <path>".
    std::string ReadItem(const std::string& handle) const;
    // The same content handed to `take` in pieces, in order, without holding it whole in
    // memory. Throws like ReadItem.
    void ReadItemInPieces(const std::string& handle,
                          const std::function<void(std::string_view)>& take) const;
    // True when the handle has the form "<digits>/<digits>" and names an existing file. Nothing
    // else is accepted, so a stored handle can never reach outside the store.
    bool IsValidHandle(const std::string& handle) const;

    // What RemoveLeftovers removed.
    struct Leftovers {
        int temporaryFiles = 0;
        int unnamedItems = 0;
        // Files that could not be removed, and folders that could not be listed.
        int notRemoved = 0;
    };
    // Removes what a crash can leave behind: temporary "<item>.new" files, and, unless
    // `keepUnnamed`, every item whose handle `isNamed` does not accept; then empty
    // subdirectories. Entries of any other shape are left alone. Only for start-up, before any
    // item is being written. Never throws for a file that cannot go: it counts it.
    Leftovers RemoveLeftovers(const std::function<bool(const std::string&)>& isNamed,
                              bool keepUnnamed);

    const std::filesystem::path& Root() const { return root; }
    // Where the item of a well-formed handle lives (whether or not it exists).
    std::filesystem::path PathOf(const std::string& handle) const { return root / handle; }

private:
    void CreateRoot() const;
    void RequireValidHandle(const std::string& handle) const;
    // The first subdirectory with room, or nullopt. Caller holds `mutex`.
    std::optional<std::string> FindSubdirectoryWithRoom();
    // The subdirectories in directory order, listed again only when the root changed since.
    // Caller holds `mutex`.
    const std::vector<std::string>& Subdirectories();
    // A number not yet used as a name in `folder`, or nullopt when all are. Caller holds `mutex`.
    std::optional<std::string> DrawFreeName(const std::filesystem::path& folder);
    // Creates a new item file in `folder` (a subdirectory's path) and opens it for writing;
    // returns its name, or nullopt when the folder has no free name left. Throws "Error writing
    // to file <path>". Caller holds `mutex`.
    std::optional<std::string> CreateItemFile(const std::filesystem::path& folder, int& fd);
    // CreateItem, leaving the new file open for writing in `fd`.
    std::string CreateOpenItem(int& fd);
    // Entries of a subdirectory (up to 5000), counted again only when the folder changed since.
    // Caller holds `mutex`.
    int EntriesOf(const std::string& subdirectory);
    // Records a change this object made in a subdirectory. Caller holds `mutex`.
    void NoteChange(const std::string& subdirectory, int entriesAdded);
    // Records an item written and not yet synced. Caller holds `mutex`.
    void NoteUnsynced(const std::string& handle);
    // CreateItemWithText, with its content synced at once when `sync`.
    std::string CreateItemWithText(std::string_view text, bool sync);

    // The count of a subdirectory's entries, valid while its modification time is unchanged.
    struct FolderCount {
        int entries;
        timespec modified;
    };

    std::filesystem::path root;
    // Guards structural changes, `random`, `folderCounts` and the unsynced sets.
    std::mutex mutex;
    std::minstd_rand random;
    std::map<std::string, FolderCount> folderCounts;
    // The root's subdirectories as last listed, valid while the root's modification time is
    // unchanged: creating an item then costs a few stat calls instead of a listing.
    std::vector<std::string> subdirectories;
    std::optional<timespec> subdirectoriesListed;
    // Written since the last SyncWrittenItems: the subdirectories of new or replaced items,
    // and whether the root got a new subdirectory.
    std::set<std::string> unsyncedFolders;
    bool unsyncedRoot = false;
    // Items whose content awaits SyncNewTexts.
    std::set<std::string> unsyncedTexts;
};
