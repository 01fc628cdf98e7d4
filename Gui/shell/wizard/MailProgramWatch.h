#pragma once

#include <QObject>
#include <mutex>
#include <optional>

#include "core/MoxelCoreEventHandler.h"

class MoxelCore;

// Waits for the mail program to log in to (or out of) the local POP3 server with one account's
// key, and tells the user-interface thread by the signal Seen. It is registered with the core's
// event reporter only while it waits, and leaves it as soon as the event arrives or it stops.
//
// Start, Stop and the destructor run on the user-interface thread; the events arrive on the POP3
// session threads, which only compare the key and post to the user-interface thread.
class MailProgramWatch : public QObject, public MoxelCoreEventHandler {
    Q_OBJECT

public:
    enum class Event { LoggedIn, LoggedOut };

    MailProgramWatch(MoxelCore& core, Event event, QObject* parent = nullptr);
    ~MailProgramWatch() override;

    // Waits for the event with `key`, forgetting an earlier key.
    void Start(const LetterBoxKey& key);
    // Waits no more; no Seen follows.
    void Stop();

    void MailProgramLoggedIn(const ThreadId& thread, const LetterBoxKey& key) override;
    void MailProgramLoggedOut(const ThreadId& thread, const LetterBoxKey& key) override;

signals:
    void Seen();

private:
    // Session thread.
    void Arrived(Event arrived, const LetterBoxKey& key);
    // User-interface thread.
    void Deliver(const LetterBoxKey& key);

    MoxelCore& core;
    const Event event;
    std::mutex mutex;
    // Guarded by `mutex`: the key waited for; empty while not waiting.
    std::optional<LetterBoxKey> awaited;
};
