#pragma once

// What the download benchmarks share: a Dovecot mailbox of many messages of one size, filled
// from the command line's figures, and Python's poplib as the baseline that fetches the whole
// mailbox (UIDL and RETR per message, nothing stored, nothing deleted).
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "peers/DovecotServer.h"
#include "support/ChildProcess.h"
#include "support/TestDataDir.h"

namespace bench {

// How many messages of about how many bytes: 2,000 of 20 KB unless the command line says
// otherwise ("bench_... [messages] [message bytes]").
struct MailboxSettings {
    int messages = 2000;
    int messageBytes = 20 * 1024;

    static MailboxSettings FromArguments(int argc, char** argv) {
        MailboxSettings settings;
        if (argc > 1) {
            settings.messages = std::atoi(argv[1]);
        }
        if (argc > 2) {
            settings.messageBytes = std::atoi(argv[2]);
        }
        return settings;
    }
};

// Fills the mailbox of "tester" with message(index, size) for index 0, 1, ..., starts the
// server and says what it serves.
inline void StartMailbox(moxeltest::DovecotServer& server, const MailboxSettings& settings,
                         const std::function<std::string(int index, int size)>& message) {
    for (int index = 0; index < settings.messages; ++index) {
        server.AddMessage("tester", message(index, settings.messageBytes));
    }
    server.Start();
    std::printf("%d messages of about %d bytes from Dovecot on loopback\n", settings.messages,
                settings.messageBytes);
}

// What one download run took and brought.
struct DownloadOutcome {
    double seconds = 0;
    long long messages = 0;
    long long bytes = 0;
};

inline constexpr char kPoplibScript[] = R"(
import poplib, ssl, sys, time
port, secure = int(sys.argv[1]), sys.argv[2] == "1"
started = time.perf_counter()
if secure:
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    pop = poplib.POP3_SSL("localhost", port, context=context, timeout=30)
else:
    pop = poplib.POP3("localhost", port, timeout=30)
pop.user("tester")
pop.pass_("secret")
count, _ = pop.stat()
total = 0
for number in range(1, count + 1):
    pop.uidl(number)
    _, lines, _ = pop.retr(number)
    total += sum(len(line) + 2 for line in lines)
pop.quit()
print(time.perf_counter() - started, count, total)
)";

inline std::string FindPython() {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    for (std::string folder; std::getline(path, folder, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / "python3";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return "/usr/bin/python3";
}

// Fetches the mailbox of "tester"/"secret" on the loopback `port` with poplib (over TLS from
// the first byte when `secure`). Ends the program when poplib fails.
inline DownloadOutcome DownloadWithPoplib(std::uint16_t port, bool secure = false) {
    moxeltest::TempDir folder;
    const auto script = folder.Path() / "poplib_download.py";
    std::ofstream(script) << kPoplibScript;
    const auto result = moxeltest::RunToEnd(
        FindPython(), {script.string(), std::to_string(port), secure ? "1" : "0"}, {}, {},
        std::chrono::minutes(10));
    DownloadOutcome outcome;
    std::istringstream figures(result.out);
    if (result.exitCode != 0 ||
        !(figures >> outcome.seconds >> outcome.messages >> outcome.bytes)) {
        std::fprintf(stderr, "poplib failed (%d):\n%s\n", result.exitCode, result.err.c_str());
        std::exit(1);
    }
    return outcome;
}

}  // namespace bench
