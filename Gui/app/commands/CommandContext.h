#pragma once

#include <memory>

class PopPostOffice;

// Where a command runs: in the running copy (over the control socket) or in a process that
// holds the instance lock itself, and the post office it works on. Owned by the thread that
// runs the command.
class CommandContext {
public:
    // `running`: the running copy's post office when the command runs in that copy, else null.
    explicit CommandContext(PopPostOffice* running);
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    bool InRunningCopy() const { return running != nullptr; }

    // The post office for account operations and lists: an object of this thread's own over the
    // application's post office rows (which the running copy's collection reads afresh in every
    // run). Where the data folder has none yet, it is made as start-up makes it. Throws
    // Exception on a database error.
    PopPostOffice& GetPostOffice();
    // The post office whose collection thread a collection goes through: the running copy's, or
    // the one opened here.
    PopPostOffice& GetCollectingPostOffice();

private:
    PopPostOffice* running;
    std::unique_ptr<PopPostOffice> own;
};
