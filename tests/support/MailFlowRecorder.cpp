#include "support/MailFlowRecorder.h"

#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"

namespace moxeltest {

void MailFlowRecorder::CheckingMail(const ThreadId&, const LetterBoxKey& key) {
    Record("CheckingMail " + key.ToString());
}

void MailFlowRecorder::CollectingFailed(const ThreadId&, const std::string& error) {
    Record("CollectingFailed " + error);
}

void MailFlowRecorder::CollectingWarning(const ThreadId&, const std::string& warning) {
    Record("CollectingWarning " + warning);
}

void MailFlowRecorder::LettersRetrieved(const ThreadId&, const LetterBoxPtr& letters) {
    LetterBoxLock open(letters);
    Record("LettersRetrieved " + std::to_string(letters->GetLetterCount()));
}

void MailFlowRecorder::ApprovedLettersAdded(const ThreadId&, int count) {
    Record("ApprovedLettersAdded " + std::to_string(count));
}

std::vector<std::string> MailFlowRecorder::Events() const {
    std::lock_guard lock(mutex);
    return events;
}

void MailFlowRecorder::Clear() {
    std::lock_guard lock(mutex);
    events.clear();
}

void MailFlowRecorder::Record(const std::string& event) {
    std::lock_guard lock(mutex);
    events.push_back(event);
}

}  // namespace moxeltest
