#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/LetterTypes.h"

// Letters downloaded one after another whose texts go to the disk together: one sync for the
// batch instead of one per letter, which on a journalling file system costs a commit each. A
// letter's row names its text only once the text is on the disk, and each letter is still kept
// in a transaction of its own, so an interrupted run keeps every letter stored before it.
// Used on the thread that downloads.
class DownloadBatch {
public:
    // At most this many letters, or this many bytes of text, wait for their sync.
    static constexpr std::size_t kMaxLetters = 256;
    static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

    DownloadBatch() = default;
    DownloadBatch(const DownloadBatch&) = delete;
    DownloadBatch& operator=(const DownloadBatch&) = delete;

    // A downloaded letter (its text pending, or stored already by the client) and the id of its
    // message.
    void Add(std::unique_ptr<Letter> letter, std::string messageId);
    bool IsFull() const;
    // Writes the pending texts, syncs them together, then, in order and in one transaction per
    // letter, names each text in its letter's row and hands the letter and its id to `keep`.
    // Empties the batch. On a failure the letters not yet kept are dropped (their files too)
    // and the error is thrown: their messages are fetched again by the next run.
    void Store(const std::function<void(Letter&, const std::string& messageId)>& keep);

private:
    struct Entry {
        std::unique_ptr<Letter> letter;
        std::string messageId;
        std::string handle;  // the written text that no row names yet
    };
    std::vector<Entry> entries;
    std::size_t bytes = 0;
};
