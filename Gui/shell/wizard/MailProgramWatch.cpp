#include "shell/wizard/MailProgramWatch.h"

#include "core/MoxelCore.h"
#include "shell/app/GuiThread.h"

MailProgramWatch::MailProgramWatch(MoxelCore& coreIn, Event eventIn, QObject* parent)
    : QObject(parent), core(coreIn), event(eventIn) {}

MailProgramWatch::~MailProgramWatch() {
    Stop();
}

void MailProgramWatch::Start(const LetterBoxKey& key) {
    {
        std::lock_guard lock(mutex);
        awaited = key;
    }
    core.AddHandler(this);
}

void MailProgramWatch::Stop() {
    {
        std::lock_guard lock(mutex);
        awaited.reset();
    }
    // Waits for a session thread still inside one of our calls; what it posted is dropped with
    // this object or ignored by Deliver.
    core.GetEventReporter()->RemoveHandler(this);
}

void MailProgramWatch::MailProgramLoggedIn(const ThreadId&, const LetterBoxKey& key) {
    Arrived(Event::LoggedIn, key);
}

void MailProgramWatch::MailProgramLoggedOut(const ThreadId&, const LetterBoxKey& key) {
    Arrived(Event::LoggedOut, key);
}

void MailProgramWatch::Arrived(Event arrived, const LetterBoxKey& key) {
    if (arrived != event) {
        return;
    }
    // The key is compared on the user-interface thread, where a restart for another key may
    // have happened meanwhile.
    std::lock_guard lock(mutex);
    if (awaited) {
        PostToGuiThread(this, [this, key] { Deliver(key); });
    }
}

void MailProgramWatch::Deliver(const LetterBoxKey& key) {
    {
        std::lock_guard lock(mutex);
        // Another account, or stopped or restarted after the event was posted.
        if (!awaited || !(*awaited == key)) {
            return;
        }
    }
    Stop();
    emit Seen();
}
