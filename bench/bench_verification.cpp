// Prints how fast the trusted sender list works on large runs: requests queued per second while
// sorting, verification letters written per second by a dispatch, replies processed per second,
// and the longest time another thread waited to write while the dispatch ran (the letters are
// committed every 100, so that wait stays short). Run by bench/run; figures only, no verdicts.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "BenchDataFolder.h"
#include "core/EventReporter.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "postoffice/TrustedSenderList.h"

using Stopwatch = std::chrono::steady_clock;

namespace {

double SecondsSince(Stopwatch::time_point start) {
    return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

std::string Sender(int i) {
    return "sender" + std::to_string(i) + "@example.org";
}

// Writes one small row after another on its own connection until stopped, and keeps the
// longest time one write had to wait for the database.
class WaitingWriter {
public:
    WaitingWriter() : thread([this] { Run(); }) {}
    // Stops the writer; returns the longest wait in milliseconds.
    double Stop() {
        stop = true;
        thread.join();
        return longest;
    }

private:
    void Run() {
        ThreadDataScope database;
        while (!stop) {
            const auto start = Stopwatch::now();
            {
                DatabaseLayer::Transaction transaction;
                DatabaseLayer::ExecuteStatement("INSERT INTO BenchWrites VALUES (NULL);");
            }
            longest = std::max(longest, SecondsSince(start) * 1000.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::atomic<bool> stop{false};
    double longest = 0;  // written by the writer thread, read after join
    std::thread thread;
};

void BenchRun(int senders) {
    TrustedSenderList list;
    list.SetPersistent(true);
    RealTimeClock clock;
    EventReporter reporter;
    LetterBox outgoing;
    outgoing.SetPersistent(true);

    auto start = Stopwatch::now();
    {
        DatabaseLayer::Transaction sorting;
        for (int i = 0; i < senders; ++i) {
            Letter letter;
            letter.SetSender(Sender(i));
            letter.SetSubject("Offer number " + std::to_string(i));
            list.QueueVerificationRequest(letter, "me@home.example", clock, reporter);
        }
    }
    const double queued = SecondsSince(start);

    WaitingWriter writer;
    start = Stopwatch::now();
    list.DispatchVerificationRequests(clock, outgoing);
    const double dispatched = SecondsSince(start);
    const double longestWait = writer.Stop();

    LetterBox recent;
    recent.SetPersistent(true);
    {
        LetterBoxLock lock(recent);
        DatabaseLayer::Transaction collecting;
        for (const auto id : outgoing.GetElementIds()) {
            Letter request(id);
            Letter reply;
            reply.StoreText("From: " + request.GetRecipient() +
                            "\nTo: me@home.example\nSubject: Re: " + request.GetSubject() +
                            "\n\nIt is me.");
            recent.MoveLetterHere(reply);
        }
    }
    start = Stopwatch::now();
    list.ProcessVerificationReplies(recent, reporter);
    const double replied = SecondsSince(start);

    std::printf(
        "verification: %5d senders: queue %7.0f requests/s, dispatch %6.0f letters/s "
        "(longest wait of another writer %.1f ms), replies %6.0f/s\n",
        senders, senders / queued, senders / dispatched, longestWait, senders / replied);
    outgoing.SetPersistent(false);
    recent.SetPersistent(false);
    list.SetPersistent(false);
}

}  // namespace

int main() {
    const BenchDataFolder folder;
    InitializeThreadData();
    DatabaseLayer::ExecuteStatement("CREATE TABLE BenchWrites (id INTEGER PRIMARY KEY);");
    for (const int senders : {100, 1000, 5000}) {
        BenchRun(senders);
    }
    ReleaseThreadData();
    return 0;
}
