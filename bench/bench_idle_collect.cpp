// A collection run with nothing new: an account whose 2,000 messages (about 20 KB each) are all
// stored here already, with copies left on the server. Prints the program's run beside
// fetchmail's no-op poll of the same mailbox (its second run with --keep and UIDL tracking) and
// beside Python's poplib asking for UIDL alone, plain and after STLS (the program turns to TLS
// when the server offers it, as this one does). Usage: bench_idle_collect [messages] [bytes].
#include <algorithm>
#include <chrono>
#include <cstdio>
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
#include "support/ChildProcess.h"
#include "support/TestDataDir.h"

using Stopwatch = std::chrono::steady_clock;

namespace {

double SecondsSince(Stopwatch::time_point start) {
    return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

std::string Message(int index, int size) {
    std::string text = "From: Sender <sender" + std::to_string(index % 200) +
                       "@example.test>\nTo: tester@example.test\nSubject: idle benchmark " +
                       std::to_string(index) + "\n\n";
    while (static_cast<int>(text.size()) < size) {
        text += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.\n";
    }
    return text;
}

constexpr char kUidlScript[] = R"(
import poplib, ssl, sys, time
started = time.perf_counter()
pop = poplib.POP3("localhost", int(sys.argv[1]), timeout=30)
if sys.argv[2] == "1":
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    pop.stls(context)
pop.user("tester")
pop.pass_("secret")
_, ids, _ = pop.uidl()
pop.quit()
print(time.perf_counter() - started, len(ids))
)";

// Seconds of one poll by fetchmail, keeping the messages and remembering their ids in `folder`
// (the first poll fetches everything, the next ones nothing).
double FetchmailPoll(const std::filesystem::path& folder, std::uint16_t port) {
    const auto rc = folder / "fetchmailrc";
    {
        std::ofstream(rc) << "set no bouncemail\npoll localhost protocol pop3 port " << port
                          << " uidl\n  user \"tester\" password \"secret\" keep sslproto ''"
                          << " mda \"cat >/dev/null\"\n";
    }
    std::filesystem::permissions(
        rc, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const auto started = Stopwatch::now();
    const auto result =
        moxeltest::RunToEnd("/usr/bin/fetchmail",
                            {"-f", rc.string(), "--idfile", (folder / "ids").string(), "--pidfile",
                             (folder / "pid").string(), "--nosyslog", "--nodetach"},
                            {{"HOME", folder.string()}}, {}, std::chrono::minutes(10));
    const double seconds = SecondsSince(started);
    // 0: messages fetched; 1: none new.
    if (result.exitCode != 0 && result.exitCode != 1) {
        std::fprintf(stderr, "fetchmail failed (%d):\n%s\n", result.exitCode, result.err.c_str());
        std::exit(1);
    }
    return seconds;
}

// Seconds of poplib's login, UIDL and QUIT; after STLS when `tls`.
double PoplibUidl(std::uint16_t port, bool tls) {
    moxeltest::TempDir folder;
    const auto script = folder.Path() / "uidl.py";
    std::ofstream(script) << kUidlScript;
    const auto result = moxeltest::RunToEnd(
        bench::FindPython(), {script.string(), std::to_string(port), tls ? "1" : "0"}, {}, {},
        std::chrono::minutes(2));
    double seconds = 0;
    if (result.exitCode != 0 || std::sscanf(result.out.c_str(), "%lf", &seconds) != 1) {
        std::fprintf(stderr, "poplib UIDL failed:\n%s\n", result.err.c_str());
        std::exit(1);
    }
    return seconds;
}

int CountLetters(const LetterBoxPtr& box) {
    LetterBoxLock open(box);
    return box->GetLetterCount();
}

void PrintRow(const char* label, double seconds, double peer) {
    std::printf("%-44s %8.3f s  %6.2f x the fetchmail no-op poll\n", label, seconds,
                seconds / peer);
}

}  // namespace

int main(int argc, char** argv) {
    const auto settings = bench::MailboxSettings::FromArguments(argc, argv);
    moxeltest::DovecotServer server;
    bench::StartMailbox(server, settings, Message);

    moxeltest::TempDir fetchmailFolder;
    FetchmailPoll(fetchmailFolder.Path(), server.Pop3Port());
    double fetchmailIdle = FetchmailPoll(fetchmailFolder.Path(), server.Pop3Port());
    double uidl = PoplibUidl(server.Pop3Port(), false);
    // Moxel turns to TLS when the server offers it, as this one does.
    double uidlTls = PoplibUidl(server.Pop3Port(), true);

    BenchDataFolder folder;
    ThreadDataScope database;
    if (PopInitializeA(nullptr, nullptr) != 1) {
        std::fprintf(stderr, "popwire did not initialise\n");
        return 1;
    }
    GetAppProperties().SetLeaveCopies(true);
    RealTimeClock clock;
    EventReporter reporter;
    DatabaseLayer::MailDeliveryPointsData points;
    points.SetPersistent(true);
    double firstRun = 0;
    double idleRun = 0;
    int stored = 0;
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
        firstRun = SecondsSince(started);
        started = Stopwatch::now();
        point.DeliverMail(clock, reporter);
        idleRun = SecondsSince(started);
        stored = CountLetters(point.GetRecentLetters());
    }
    PopUninitialize();
    // The machine may have been busy during one of them: a second round of both peers.
    fetchmailIdle =
        std::min(fetchmailIdle, FetchmailPoll(fetchmailFolder.Path(), server.Pop3Port()));
    uidl = std::min(uidl, PoplibUidl(server.Pop3Port(), false));
    uidlTls = std::min(uidlTls, PoplibUidl(server.Pop3Port(), true));

    std::printf("%d messages stored by the first run (%.3f s), %d left on the server\n", stored,
                firstRun, server.MessageCount("tester"));
    PrintRow("Moxel run with nothing new", idleRun, fetchmailIdle);
    PrintRow("fetchmail --keep second poll (no-op)", fetchmailIdle, fetchmailIdle);
    PrintRow("Python poplib login, UIDL, QUIT", uidl, fetchmailIdle);
    PrintRow("Python poplib STLS, login, UIDL, QUIT", uidlTls, fetchmailIdle);
    std::printf("Moxel / poplib with STLS: %.2f\n", idleRun / uidlTls);
    return stored == settings.messages ? 0 : 1;
}
