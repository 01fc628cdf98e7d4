// `moxel --headless` with nothing to do: two protected accounts on a Dovecot with empty
// mailboxes and the local POP3 server listening. Prints the processor time the program used over
// a minute (as a share of one core), its resident memory, and how long a connection to the local
// server waits for its greeting while the program idles.
// The minute can be changed with BENCH_IDLE_SECONDS; arguments are ignored, since bench/run hands
// every benchmark the same ones.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "BenchDataFolder.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "peers/DovecotServer.h"
#include "postoffice/PopPostOffice.h"
#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"

using namespace std::chrono_literals;
using Stopwatch = std::chrono::steady_clock;

namespace {

// User and system processor time of `pid` so far, in seconds.
double ProcessorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold spaces; the fields after it are fixed.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            user = std::stoull(field);
        } else if (index == 15) {
            system = std::stoull(field);
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The "VmRSS" of `pid` in kilobytes; -1 when it cannot be read.
long ResidentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Milliseconds from connecting to the local server until its greeting has arrived; -1 when
// none came within 5 seconds.
double GreetingMilliseconds(std::uint16_t port) {
    const auto started = Stopwatch::now();
    const moxeltest::Descriptor socket = moxeltest::ConnectToLoopback(port);
    timeval limit{5, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    char buffer[256];
    if (::recv(socket.Get(), buffer, sizeof(buffer), 0) <= 0) {
        return -1;
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(Stopwatch::now() - started).count();
    ::send(socket.Get(), "QUIT\r\n", 6, MSG_NOSIGNAL);
    return milliseconds;
}

// Two accounts as the mail program's first logins leave them.
void ProtectTwoAccounts(std::uint16_t pop3Port) {
    ThreadDataScope database;
    PopPostOffice office;
    office.SetPersistent(true);
    for (const char* address : {"tester@example.test", "other@example.test"}) {
        const LetterBoxKey key(address, "tester", "127.0.0.1:" + std::to_string(pop3Port));
        office.MailProgramLoggedIn(key.ToString(), "secret");
    }
    DatabaseLayer::GetAppProperties().SetPopPostOfficeRowId(office.GetId());
}

}  // namespace

int main() {
    const char* watch = std::getenv("BENCH_IDLE_SECONDS");
    const int seconds = watch != nullptr && std::atoi(watch) > 0 ? std::atoi(watch) : 60;
    moxeltest::DovecotServer dovecot;
    dovecot.Start();
    BenchDataFolder folder;
    ProtectTwoAccounts(dovecot.Pop3Port());

    const std::map<std::string, std::string> environment = {
        {"MOXEL_DATA_DIR", (folder.Path() / "data").string()}};
    std::uint16_t localPort = 0;
    moxeltest::ListenOnLoopback(localPort).Close();
    if (moxeltest::RunToEnd(MOXEL_BINARY, {"settings", "set", "PopPort", std::to_string(localPort)},
                            environment)
            .exitCode != 0) {
        std::fprintf(stderr, "PopPort could not be set\n");
        return 1;
    }
    moxeltest::ChildProcess moxel(MOXEL_BINARY, {"--headless"}, environment);
    if (!moxel.WaitForStderr("Moxel is running", 20s)) {
        std::fprintf(stderr, "moxel did not start: %s\n", moxel.Stderr().c_str());
        return 1;
    }
    // The collection at start-up finds nothing; watched from when it is surely over.
    std::this_thread::sleep_for(5s);
    const double greetingBefore = GreetingMilliseconds(localPort);
    const double processorBefore = ProcessorSeconds(moxel.Pid());
    const auto started = Stopwatch::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double processor = ProcessorSeconds(moxel.Pid()) - processorBefore;
    const double wall = std::chrono::duration<double>(Stopwatch::now() - started).count();
    const long resident = ResidentKilobytes(moxel.Pid());
    const double greetingAfter = GreetingMilliseconds(localPort);

    std::printf("moxel --headless, two accounts, nothing to do, watched for %.0f s\n", wall);
    std::printf("%-40s %8.3f s   %6.3f %% of one core (target: 0.1 %% or less)\n", "processor time",
                processor, 100.0 * processor / wall);
    std::printf("%-40s %8.1f MB  (target: under 30 MB)\n", "resident memory",
                static_cast<double>(resident) / 1024.0);
    std::printf("%-40s %8.2f ms before, %.2f ms after the minute\n",
                "local server: connect to greeting", greetingBefore, greetingAfter);
    moxel.Signal(SIGTERM);
    return moxel.WaitFor(10s) == std::optional<int>(0) ? 0 : 1;
}
