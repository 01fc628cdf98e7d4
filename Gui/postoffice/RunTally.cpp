#include "postoffice/RunTally.h"

#include "database/LetterBoxData.h"
#include "platform/ThreadId.h"

RunTally::RunTally(EventReporter& reporterIn)
    : reporter(reporterIn), ownThread(platform::CurrentThreadId()) {
    reporter.AddHandler(this);
}

RunTally::~RunTally() {
    reporter.RemoveHandler(this);
}

std::vector<ThreadId> RunTally::GetThreadFilter(const ThreadId&) {
    // Only this run's thread: a local POP3 session's events are not the run's.
    return {ownThread};
}

void RunTally::LettersRetrieved(const ThreadId&, const LetterBoxPtr& letters) {
    // Counted by its rows: opening the box here could collide with a mail program's session.
    const int count = letters->GetElementCount();
    std::lock_guard lock(mutex);
    retrieved += count;
}

void RunTally::ApprovedLettersAdded(const ThreadId&, int count) {
    std::lock_guard lock(mutex);
    approved += count;
}

void RunTally::MessagesSent(const ThreadId&, int count) {
    std::lock_guard lock(mutex);
    sent += count;
}

void RunTally::FillIn(CollectionOutcome& outcome) const {
    std::lock_guard lock(mutex);
    outcome.lettersRetrieved = retrieved;
    outcome.lettersApproved = approved;
    outcome.lettersSent = sent;
}
