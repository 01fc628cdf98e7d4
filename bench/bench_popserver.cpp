// Serves a mailbox (2,000 letters of about 20 KB by default) from the local POP3 server to curl,
// one session with a RETR of each letter, beside Dovecot serving the same messages to the same
// client in the same run. Prints both times and their ratio. Then the cost of a mail program's
// look at the mailbox on both servers: the login, and STAT with LIST (medians of 7 sessions).
// Usage: bench_popserver [messages] [message bytes].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchDataFolder.h"
#include "MailboxBenchmark.h"
#include "MailboxLook.h"
#include "core/EventReporter.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "peers/DovecotServer.h"
#include "popserver/LocalPopServer.h"
#include "postoffice/PopPostOffice.h"
#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"

using Stopwatch = std::chrono::steady_clock;

namespace {

std::string Message(int index, int size) {
    std::string text = "From: sender" + std::to_string(index) +
                       "@example.test\nTo: tester@example.test\nSubject: benchmark " +
                       std::to_string(index) + "\n\n";
    for (int line = 0; static_cast<int>(text.size()) < size; ++line) {
        text += line % 40 == 0 ? ".a line that starts with a dot\n"
                               : "Lorem ipsum dolor sit amet, consectetur adipiscing elit, " +
                                     std::to_string(line) + "\n";
    }
    return text;
}

// Seconds for one curl run that fetches every message over one connection; -1 on failure.
double CurlFetchAll(std::uint16_t port, const std::string& credentials, int messages,
                    std::size_t& bytes) {
    std::vector<std::string> args{"-s", "-S", "-u", credentials};
    for (int n = 1; n <= messages; ++n) {
        args.push_back("pop3://127.0.0.1:" + std::to_string(port) + "/" + std::to_string(n));
    }
    const auto started = Stopwatch::now();
    const auto result =
        moxeltest::RunToEnd("/usr/bin/curl", args, {}, {}, std::chrono::minutes(10));
    const double seconds = std::chrono::duration<double>(Stopwatch::now() - started).count();
    bytes = result.out.size();
    if (result.exitCode != 0) {
        std::fprintf(stderr, "curl failed (%d): %s\n", result.exitCode, result.err.c_str());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const auto settings = bench::MailboxSettings::FromArguments(argc, argv);
    moxeltest::DovecotServer dovecot;
    bench::StartMailbox(dovecot, settings, Message);

    BenchDataFolder folder;
    ThreadDataScope database;
    PopPostOffice office;
    office.SetPersistent(true);
    const LetterBoxKey key("tester@example.test", "tester", "localhost");
    office.MailProgramLoggedIn(key.ToString(), "secret");
    {
        const LetterBoxPtr inbox = office.GetInbox(key);
        LetterBoxLock open(inbox);
        for (int index = 0; index < settings.messages; ++index) {
            Letter letter;
            letter.StoreText(Message(index, settings.messageBytes));
            inbox->MoveLetterHere(letter);
        }
    }
    LocalPopServer server(office, std::make_shared<EventReporter>(), {});
    server.Start(0);
    const auto port =
        static_cast<std::uint16_t>(server.WaitUntilListening(std::chrono::seconds(10)));

    std::size_t dovecotBytes = 0;
    std::size_t moxelBytes = 0;
    // The first Dovecot run makes it index the mailbox, so that its figure does not pay for that.
    CurlFetchAll(dovecot.Pop3Port(), "tester:secret", settings.messages, dovecotBytes);
    const double dovecotSeconds =
        CurlFetchAll(dovecot.Pop3Port(), "tester:secret", settings.messages, dovecotBytes);
    const double moxelSeconds =
        CurlFetchAll(port, key.ToString() + ":secret", settings.messages, moxelBytes);
    std::printf("%-36s %8.3f s  %10zu bytes\n", "Dovecot to curl (RETR each)", dovecotSeconds,
                dovecotBytes);
    std::printf("%-36s %8.3f s  %10zu bytes\n", "Moxel local server to curl", moxelSeconds,
                moxelBytes);
    if (dovecotSeconds > 0 && moxelSeconds > 0) {
        std::printf("Moxel / Dovecot: %.2f (target: 1.2 or less)\n", moxelSeconds / dovecotSeconds);
    }

    constexpr int kLooks = 7;
    const bench::Look dovecotLook = bench::MedianLook(dovecot.Pop3Port(), "tester", "LIST", kLooks);
    const bench::Look moxelLook = bench::MedianLook(port, key.ToString(), "LIST", kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Dovecot: login", dovecotLook.login, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Dovecot: STAT and LIST",
                dovecotLook.statAndListing, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Moxel: login", moxelLook.login, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Moxel: STAT and LIST", moxelLook.statAndListing,
                kLooks);
    return dovecotSeconds > 0 && moxelSeconds > 0 && dovecotLook.login >= 0 && moxelLook.login >= 0
               ? 0
               : 1;
}
