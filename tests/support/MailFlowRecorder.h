#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/MoxelCoreEventHandler.h"

namespace moxeltest {

// Records the events of downloading and sorting as short texts, in order: "CheckingMail
// <key>", "CollectingFailed <error>", "CollectingWarning <warning>", "LettersRetrieved <count>"
// (the letters in the box, counted with the box opened as the application log does),
// "ApprovedLettersAdded <count>". Any thread.
class MailFlowRecorder : public MoxelCoreEventHandler {
public:
    void CheckingMail(const ThreadId& thread, const LetterBoxKey& key) override;
    void CollectingFailed(const ThreadId& thread, const std::string& error) override;
    void CollectingWarning(const ThreadId& thread, const std::string& warning) override;
    void LettersRetrieved(const ThreadId& thread, const LetterBoxPtr& letters) override;
    void ApprovedLettersAdded(const ThreadId& thread, int count) override;

    std::vector<std::string> Events() const;
    void Clear();

private:
    void Record(const std::string& event);

    mutable std::mutex mutex;
    // Guarded by `mutex`.
    std::vector<std::string> events;
};

}  // namespace moxeltest
