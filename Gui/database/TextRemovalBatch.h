#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace DatabaseLayer {

// Removes the store files of letters whose rows' deletion has just been committed (the
// after-commit step of a deletion). The deletion is put on the disk first, for a power failure
// must not bring back a row whose text is gone; when that fails the files stay, and the next
// start removes those no row names. While a TextRemovalBatch is open on the calling thread the
// files are handed to it instead.
void RemoveDeletedTexts(const std::vector<std::string>& handles);

// Gathers the texts of letters deleted on its thread while it is open and removes them in groups:
// one sync of the database for a group instead of one per letter (a dispatch run deletes a letter
// each time the server takes one). Each deletion still commits on its own. A run that is cut off
// leaves files that no row names, and the next start removes them. Lives on one thread, in one
// scope; a batch opened inside another leaves the work to the outer one.
class TextRemovalBatch {
public:
    static constexpr std::size_t kGroupSize = 1000;

    TextRemovalBatch();
    // Removes what is gathered (see Flush).
    ~TextRemovalBatch();
    TextRemovalBatch(const TextRemovalBatch&) = delete;
    TextRemovalBatch& operator=(const TextRemovalBatch&) = delete;

    // Syncs the database once and removes every gathered file; never throws.
    void Flush() noexcept;

private:
    friend void RemoveDeletedTexts(const std::vector<std::string>& handles);
    void Add(const std::vector<std::string>& handles);

    // False for a batch opened inside another.
    const bool active;
    std::vector<std::string> gathered;
};

}  // namespace DatabaseLayer
