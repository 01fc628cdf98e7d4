#pragma once

#include <string>
#include <vector>

class SenderList;

// The approved senders dialog's working copy: the entries as the user sees them, and the adds
// and removes made so far, in order. Nothing reaches the stored list until Apply, so Cancel only
// has to drop this object. Used on the thread that made it.
class SenderListEdit {
public:
    // The three refusal texts shown to the user.
    static constexpr const char* kEmpty = "The address may not be empty.";
    static constexpr const char* kExists = "The address already exists in the list.";
    static constexpr const char* kAbsent = "The address is not in the list.";

    explicit SenderListEdit(std::vector<std::string> initial);

    // Adds `text` without blanks, tabs, CR and LF at either end. Returns the refusal text, or
    // empty when added.
    std::string Add(const std::string& text);
    // Removes the entry equal to `text` (trimmed as for Add). Returns the refusal text, or empty
    // when removed.
    std::string Remove(const std::string& text);

    const std::vector<std::string>& GetEntries() const { return entries; }
    bool HasChanges() const { return !commands.empty(); }

    // Carries out the adds and removes in the order made, in one transaction: all or nothing.
    // Changes that others made to the stored list meanwhile are kept. Throws Exception on a
    // database error.
    void Apply(SenderList& stored) const;

private:
    struct Command {
        bool add;
        std::string entry;
    };

    bool IsListed(const std::string& entry) const;

    std::vector<std::string> entries;
    std::vector<Command> commands;
};
