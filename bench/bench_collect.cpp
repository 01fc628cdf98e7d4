// Collects a Dovecot mailbox (2,000 messages of about 20 KB by default) the way the program
// does: a mail delivery point downloads every message through its POP client into a fresh
// database and letter store, then sorts them (a quarter from approved senders, the rest held
// with a verification request per sender). Prints letters per second for the download, the sort
// and both, beside Python's poplib fetching the same mailbox (UIDL and RETR per message, nothing
// stored), plain and over TLS (the program itself turns to TLS when the server offers it).
// Usage: bench_collect [messages] [message bytes].
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchDataFolder.h"
#include "MailboxBenchmark.h"
#include "core/EventReporter.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "peers/DovecotServer.h"
#include "popwire.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MailDeliveryPointsData.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TarnwellPopClient.h"
#include "postoffice/TrustedSenderList.h"

using Stopwatch = std::chrono::steady_clock;

namespace {

constexpr int kSenders = 200;

double SecondsSince(Stopwatch::time_point start) {
    return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

std::string Sender(int index) {
    return "sender" + std::to_string(index % kSenders) + "@example.test";
}

// A text message of about `size` bytes, with 8-bit lines and dot-led lines.
std::string Message(int index, int size) {
    std::string text = "Return-Path: <" + Sender(index) + ">\nFrom: Sender <" + Sender(index) +
                       ">\nTo: tester@example.test\nSubject: benchmark message " +
                       std::to_string(index) + "\nContent-Type: text/plain; charset=utf-8\n" +
                       "Content-Transfer-Encoding: 8bit\n\n";
    for (int line = 0; static_cast<int>(text.size()) < size; ++line) {
        text += line % 40 == 0 ? ".a line that starts with a dot\n"
                : line % 9 == 0
                    ? "Grüße aus Köln, naïve café, 1 € — line " + std::to_string(line) + "\n"
                    : "Lorem ipsum dolor sit amet, consectetur adipiscing elit, " +
                          std::to_string(line) + "\n";
    }
    return text;
}

// Seconds to create and write `count` files of `size` bytes in a new folder below `parent`, the
// least a store of one file per letter pays. On a file system where many files were deleted
// lately, creating files is slow for some minutes; this row shows that cost in the same run.
double CreateFiles(const std::filesystem::path& parent, int count, int size) {
    const auto folder = parent / "file-system-only";
    std::filesystem::create_directory(folder);
    const std::string text(static_cast<std::size_t>(size), 'x');
    const auto started = Stopwatch::now();
    for (int index = 0; index < count; ++index) {
        std::ofstream(folder / std::to_string(index), std::ios::binary) << text;
    }
    return SecondsSince(started);
}

int CountLetters(const LetterBoxPtr& box) {
    LetterBoxLock open(box);
    return box->GetLetterCount();
}

void PrintRate(const char* label, int letters, double seconds) {
    std::printf("%-40s %8.3f s  %5d letters  %8.1f letters/s\n", label, seconds, letters,
                letters / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const auto settings = bench::MailboxSettings::FromArguments(argc, argv);
    moxeltest::DovecotServer server;
    bench::StartMailbox(server, settings, Message);

    // poplib first: the program's run empties the mailbox. Its first session also makes
    // Dovecot index the mailbox, so that neither figure pays for that.
    bench::DownloadWithPoplib(server.Pop3Port());
    const auto poplib = bench::DownloadWithPoplib(server.Pop3Port());
    // Moxel turns to TLS when the server offers it, as this one does: poplib over TLS pays for
    // that too.
    const auto poplibTls = bench::DownloadWithPoplib(server.Pop3sPort(), true);

    BenchDataFolder folder;
    ThreadDataScope database;
    if (PopInitializeA(nullptr, nullptr) != 1) {
        std::fprintf(stderr, "popwire did not initialise\n");
        return 1;
    }
    RealTimeClock clock;
    EventReporter reporter;
    DatabaseLayer::MailDeliveryPointsData points;
    points.SetPersistent(true);
    TrustedSenderList trusted;
    trusted.SetPersistent(true);
    for (int index = 0; index < kSenders; index += 4) {
        trusted.GetSenderList().Add(Sender(index));
    }
    int inbox = 0;
    int pending = 0;
    double downloadSeconds = 0;
    double sortSeconds = 0;
    {
        MailDeliveryPoint point(
            "tester@example.test",
            std::make_shared<PopLetterDistributor>(std::make_shared<TarnwellPopClient>(
                "localhost", "tester", "secret", server.Pop3Port(), 30)));
        if (!points.Attach(LetterBoxKey("tester@example.test", "tester", "localhost"), point)) {
            std::fprintf(stderr, "the account could not be attached\n");
            return 1;
        }

        auto started = Stopwatch::now();
        point.DeliverMail(clock, reporter);
        downloadSeconds = SecondsSince(started);
        started = Stopwatch::now();
        point.SortIncomingMail(clock, trusted.GetSenderList(), trusted, reporter);
        sortSeconds = SecondsSince(started);
        inbox = CountLetters(point.GetInbox());
        pending = CountLetters(point.GetPendingLetters());
    }
    PopUninitialize();

    const int letters = inbox + pending;
    PrintRate("Moxel download (delivery point)", letters, downloadSeconds);
    PrintRate("Moxel sort", letters, sortSeconds);
    PrintRate("Moxel download and sort", letters, downloadSeconds + sortSeconds);
    PrintRate("Python poplib fetch (nothing stored)", static_cast<int>(poplib.messages),
              poplib.seconds);
    PrintRate("Python poplib fetch over TLS", static_cast<int>(poplibTls.messages),
              poplibTls.seconds);
    // After the run, so that it does not slow the run down.
    const double fileSeconds = CreateFiles(folder.Path(), letters, settings.messageBytes);
    PrintRate("file system alone: create and write", letters, fileSeconds);
    const double totalSeconds = downloadSeconds + sortSeconds;
    std::printf(
        "download and sort / poplib: %.2f; without the file system's share: %.2f; / poplib "
        "over TLS: %.2f\n",
        totalSeconds / poplib.seconds, (totalSeconds - fileSeconds) / poplib.seconds,
        totalSeconds / poplibTls.seconds);
    std::printf("sorted: %d to the inbox, %d held; %d left on the server\n", inbox, pending,
                server.MessageCount("tester"));
    // Each letter costs a few database commits and store files on top of the POP3 exchange, so
    // the disk under the data folder shows in the figures.
    std::printf("data folder: %s\n", folder.Path().c_str());
    return letters == settings.messages ? 0 : 1;
}
