// Downloads every message of a Dovecot mailbox (2,000 messages of about 20 KB by default)
// through popwire, as the program does (UIDL, then LIST and RETR, read in 256-byte pieces) and
// with 4 KB reads, and the same mailbox through Python's poplib (UIDL and RETR per message);
// plain POP3 and POP3S. Prints the time, messages and bytes of each run.
// Usage: bench_popwire_download [messages] [message bytes].
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MailboxBenchmark.h"
#include "peers/DovecotServer.h"
#include "popwire.h"

namespace {

using Outcome = bench::DownloadOutcome;

// A plain text message of about `size` bytes, with some dot-led lines to unstuff.
std::string Message(int index, int size) {
    std::string text = "From: sender" + std::to_string(index) + "@example.test\n" +
                       "To: tester@example.test\nSubject: benchmark message " +
                       std::to_string(index) + "\n\n";
    for (int line = 0; static_cast<int>(text.size()) < size; ++line) {
        text += line % 40 == 0 ? ".a line that starts with a dot\n"
                               : "Lorem ipsum dolor sit amet, consectetur adipiscing elit, " +
                                     std::to_string(line) + "\n";
    }
    return text;
}

Outcome DownloadWithPopwire(std::uint16_t port, std::uint32_t options, int chunk) {
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    const HCLIENT client = PopConnectExA("localhost", port, 30, options);
    if (client == INVALID_CLIENT || PopLoginA(client, "tester", "secret") != 0) {
        std::fprintf(stderr, "popwire could not log in: %u\n", PopGetLastError());
        std::exit(1);
    }
    PopSetLineMode(client, POP_MODE_BINARY);
    const int count = PopGetMessageCount(client);
    std::vector<char> buffer(static_cast<std::size_t>(chunk));
    for (int number = 1; number <= count; ++number) {
        char id[128];
        if (PopGetMessageIdA(client, number, id, sizeof(id)) < 0 ||
            PopGetMessage(client, number, nullptr) != 0) {
            std::fprintf(stderr, "message %d failed: %u\n", number, PopGetLastError());
            std::exit(1);
        }
        int read;
        while ((read = PopRead(client, buffer.data(), chunk)) > 0) {
            outcome.bytes += read;
        }
        if (read < 0) {
            std::fprintf(stderr, "reading message %d failed: %u\n", number, PopGetLastError());
            std::exit(1);
        }
        ++outcome.messages;
    }
    PopDisconnect(client);
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

void Print(const char* label, const Outcome& outcome) {
    std::printf("%-44s %8.3f s  %5lld messages  %10lld bytes  %7.1f MB/s\n", label, outcome.seconds,
                outcome.messages, outcome.bytes,
                static_cast<double>(outcome.bytes) / 1e6 / outcome.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const auto settings = bench::MailboxSettings::FromArguments(argc, argv);
    moxeltest::DovecotServer server;
    // Numbered from 1, as the messages on the server are.
    bench::StartMailbox(server, settings,
                        [](int index, int size) { return Message(index + 1, size); });
    if (PopInitializeA(nullptr, nullptr) != 1) {
        std::fprintf(stderr, "popwire did not initialise\n");
        return 1;
    }
    // The first session makes Dovecot index the mailbox; it is not measured.
    DownloadWithPopwire(server.Pop3Port(), POP_OPTION_NONE, 4096);
    Print("popwire, plain, 256-byte reads", DownloadWithPopwire(server.Pop3Port(), 0, 256));
    Print("popwire, plain, 4096-byte reads", DownloadWithPopwire(server.Pop3Port(), 0, 4096));
    Print("Python poplib, plain", bench::DownloadWithPoplib(server.Pop3Port(), false));
    Print("popwire, POP3S, 256-byte reads",
          DownloadWithPopwire(server.Pop3sPort(), POP_OPTION_SECURE_NOEXT, 256));
    Print("Python poplib, POP3S", bench::DownloadWithPoplib(server.Pop3sPort(), true));
    PopUninitialize();
    return 0;
}
