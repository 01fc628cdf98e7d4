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

// Reads up to and including the line `last` (CR LF ends); false when the server closed or said
// "-ERR".
bool ReadThrough(int socket, std::string& pending, const std::string& last) {
    for (;;) {
        for (auto end = pending.find("\r\n"); end != std::string::npos;
             end = pending.find("\r\n")) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (line.rfind("-ERR", 0) == 0) {
                return false;
            }
            if (line == last || (last == "+OK" && line.rfind("+OK", 0) == 0)) {
                return true;
            }
        }
        char buffer[65536];
        const auto received = ::recv(socket, buffer, sizeof(buffer), 0);
        if (received <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(received));
    }
}

// One look at the mailbox as a mail program takes it: login, then STAT and LIST, then QUIT.
struct Look {
    double login = -1;
    double statAndList = -1;
};

// Seconds for the login and for STAT with LIST in one session; -1 on failure.
Look LookAtMailbox(std::uint16_t port, const std::string& user) {
    Look look;
    auto started = Stopwatch::now();
    moxeltest::Descriptor socket = moxeltest::ConnectToLoopback(port);
    const auto send = [&](const std::string& requests) {
        return ::send(socket.Get(), requests.data(), requests.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(requests.size());
    };
    std::string pending;
    bool good =
        ReadThrough(socket.Get(), pending, "+OK") && send("USER " + user + "\r\nPASS secret\r\n") &&
        ReadThrough(socket.Get(), pending, "+OK") && ReadThrough(socket.Get(), pending, "+OK");
    look.login = std::chrono::duration<double>(Stopwatch::now() - started).count();
    started = Stopwatch::now();
    good = good && send("STAT\r\nLIST\r\n");
    for (const char* last : {"+OK", "+OK", "."}) {
        good = good && ReadThrough(socket.Get(), pending, last);
    }
    look.statAndList = std::chrono::duration<double>(Stopwatch::now() - started).count();
    good = good && send("QUIT\r\n") && ReadThrough(socket.Get(), pending, "+OK");
    return good ? look : Look{};
}

// The medians of `runs` looks; -1 when one failed.
Look MedianLook(std::uint16_t port, const std::string& user, int runs) {
    std::vector<double> logins;
    std::vector<double> statAndLists;
    for (int run = 0; run < runs; ++run) {
        const Look look = LookAtMailbox(port, user);
        if (look.login < 0) {
            return {};
        }
        logins.push_back(look.login);
        statAndLists.push_back(look.statAndList);
    }
    std::sort(logins.begin(), logins.end());
    std::sort(statAndLists.begin(), statAndLists.end());
    return {logins[logins.size() / 2], statAndLists[statAndLists.size() / 2]};
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
    const Look dovecotLook = MedianLook(dovecot.Pop3Port(), "tester", kLooks);
    const Look moxelLook = MedianLook(port, key.ToString(), kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Dovecot: login", dovecotLook.login, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Dovecot: STAT and LIST",
                dovecotLook.statAndList, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Moxel: login", moxelLook.login, kLooks);
    std::printf("%-36s %8.3f s  (median of %d)\n", "Moxel: STAT and LIST", moxelLook.statAndList,
                kLooks);
    return dovecotSeconds > 0 && moxelSeconds > 0 && dovecotLook.login >= 0 && moxelLook.login >= 0
               ? 0
               : 1;
}
