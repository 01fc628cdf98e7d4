#include "peers/PostfixServer.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"

namespace moxeltest {

namespace {

namespace fs = std::filesystem;

constexpr char kPostfixProgram[] = "/usr/sbin/postfix";
constexpr auto kCommandTimeout = std::chrono::seconds(30);
constexpr auto kListenTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(10);
constexpr int kStartAttempts = 3;
// The pipe transport runs as this user; it exists on every Debian system.
constexpr char kDeliveryUser[] = "nobody";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void HandOver(const fs::path& path, const char* user) {
    const passwd* owner = ::getpwnam(user);
    if (!owner || ::chown(path.c_str(), owner->pw_uid, owner->pw_gid) != 0) {
        throw std::runtime_error("cannot hand " + path.string() + " to " + user);
    }
}

bool Accepts(std::uint16_t port) {
    try {
        ConnectToLoopback(port);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// The daemons of one Postfix instance; the master is the first of its own session.
std::string MasterCf(const fs::path& root, std::uint16_t port) {
    std::ostringstream cf;
    cf << "127.0.0.1:" << port << " inet n - n - - smtpd\n"
       << "pickup    unix n - n 60   1 pickup\n"
       << "cleanup   unix n - n -    0 cleanup\n"
       << "qmgr      unix n - n 300  1 qmgr\n"
       << "rewrite   unix - - n -    - trivial-rewrite\n"
       << "bounce    unix - - n -    0 bounce\n"
       << "defer     unix - - n -    0 bounce\n"
       << "trace     unix - - n -    0 bounce\n"
       << "verify    unix - - n -    1 verify\n"
       << "flush     unix n - n 1000? 0 flush\n"
       << "proxymap  unix - - n -    - proxymap\n"
       << "showq     unix n - n -    - showq\n"
       << "error     unix - - n -    - error\n"
       << "retry     unix - - n -    - error\n"
       << "discard   unix - - n -    - discard\n"
       << "anvil     unix - - n -    1 anvil\n"
       << "scache    unix - - n -    1 scache\n"
       << "postlog   unix-dgram n - n - 1 postlogd\n"
       // No flags: the letter goes to the file as it was queued, with no From_ line, no
       // ">From" quoting and no added headers.
       << "moxelfile unix - n n -    - pipe flags= user=" << kDeliveryUser << " argv=/bin/sh "
       << (root / "deliver.sh").string() << " " << (root / "mail").string() << "/${queue_id}\n";
    return cf.str();
}

}  // namespace

bool PostfixServer::Available() {
    return ::geteuid() == 0 && fs::exists(kPostfixProgram) && ::getpwnam("postfix") &&
           ::getpwnam(kDeliveryUser);
}

PostfixServer::PostfixServer() : PostfixServer(Options()) {}

PostfixServer::PostfixServer(Options chosen) : options(std::move(chosen)) {
    PrepareFolders();
}

PostfixServer::~PostfixServer() {
    try {
        Stop();
    } catch (...) {
        // A destructor must not throw; what is left is killed by Stop before it can throw.
    }
}

void PostfixServer::PrepareFolders() {
    // The daemons run as "postfix" and the delivery as "nobody": both must reach the folder.
    fs::permissions(Root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    for (const char* part : {"conf", "queue", "data", "mail"}) {
        fs::create_directories(Root() / part);
    }
    // Postfix keeps its locks there and insists on owning it.
    HandOver(Root() / "data", "postfix");
    HandOver(Root() / "mail", kDeliveryUser);
    // Written under a temporary name and renamed, so a letter is never seen half written.
    WriteFile(Root() / "deliver.sh", "cat > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\n");
}

void PostfixServer::WriteConfiguration() const {
    const std::string root = Root().string();
    std::string refused;
    for (const std::string& recipient : options.refusedRecipients) {
        refused += (refused.empty() ? "" : ", ") + recipient + "=REJECT";
    }
    std::ostringstream cf;
    cf << "compatibility_level = 3.6\n"
       << "queue_directory = " << root << "/queue\n"
       << "data_directory = " << root << "/data\n"
       << "mail_owner = postfix\n"
       << "setgid_group = postdrop\n"
       << "myhostname = moxeltest.localdomain\n"
       << "mydomain = localdomain\n"
       << "inet_interfaces = loopback-only\n"
       << "inet_protocols = ipv4\n"
       << "mynetworks = 127.0.0.0/8\n"
       // Every recipient goes to the file transport: nothing is local, nothing is relayed.
       << "mydestination =\n"
       << "relay_domains =\n"
       << "relayhost =\n"
       << "default_transport = moxelfile\n"
       << "local_recipient_maps =\n"
       << "alias_maps =\n"
       << "alias_database =\n"
       // Letters arrive as sent: no headers added or addresses rewritten for local clients.
       << "local_header_rewrite_clients =\n"
       << "smtpd_relay_restrictions = permit_mynetworks, reject\n"
       << "smtpd_recipient_restrictions ="
       << (refused.empty() ? "" : " check_recipient_access inline:{ " + refused + " }") << "\n"
       << "disable_dns_lookups = yes\n"
       << "smtp_host_lookup = native\n"
       << "smtputf8_enable = no\n"
       << "biff = no\n"
       << "maillog_file_prefixes = " << root << "\n"
       << "maillog_file = " << root << "/postfix.log\n";
    WriteFile(Root() / "conf" / "main.cf", cf.str());
    WriteFile(Root() / "conf" / "master.cf", MasterCf(Root(), port));
}

bool PostfixServer::WaitUntilListening(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Accepts(port)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void PostfixServer::Start() {
    if (running) {
        return;
    }
    const std::string conf = (Root() / "conf").string();
    // A free port may be taken by someone else before Postfix binds it; then try others.
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        port = UnusedLoopbackPort();
        WriteConfiguration();
        const RunResult started =
            RunToEnd(kPostfixProgram, {"-c", conf, "start"}, {}, {}, kCommandTimeout);
        running = true;
        if (started.exitCode == 0 && WaitUntilListening(kListenTimeout)) {
            return;
        }
        const std::string log = started.err + Log();
        Stop();
        if (attempt == kStartAttempts) {
            throw std::runtime_error("Postfix did not start:\n" + log);
        }
    }
}

pid_t PostfixServer::MasterPid() const {
    std::istringstream text(ReadFile(Root() / "queue" / "pid" / "master.pid"));
    long pid = 0;
    return text >> pid && pid > 1 ? static_cast<pid_t>(pid) : 0;
}

void PostfixServer::KillLeftovers(pid_t master) const {
    // The master leads its own session and process group, with every daemon it started; the
    // process is ours only while it still names our configuration.
    const std::string command = ReadFile("/proc/" + std::to_string(master) + "/cmdline");
    if (command.find("master") != std::string::npos) {
        ::kill(-master, SIGKILL);
    }
}

void PostfixServer::Stop() {
    if (!running) {
        return;
    }
    running = false;
    const pid_t master = MasterPid();
    RunToEnd(kPostfixProgram, {"-c", (Root() / "conf").string(), "stop"}, {}, {}, kCommandTimeout);
    if (master == 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (::kill(master, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::kill(master, 0) == 0) {
        KillLeftovers(master);
    }
}

std::vector<std::string> PostfixServer::WaitForLetters(std::size_t count,
                                                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<fs::path> files;
    for (;;) {
        files.clear();
        for (const auto& entry : fs::directory_iterator(Root() / "mail")) {
            if (entry.path().extension() != ".tmp") {
                files.push_back(entry.path());
            }
        }
        if (files.size() >= count || std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::sort(files.begin(), files.end(), [](const fs::path& left, const fs::path& right) {
        return fs::last_write_time(left) < fs::last_write_time(right);
    });
    std::vector<std::string> letters;
    for (const fs::path& file : files) {
        letters.push_back(ReadFile(file));
    }
    return letters;
}

std::string PostfixServer::WithoutTrace(const std::string& letter) {
    if (!letter.starts_with("Received:")) {
        return letter;
    }
    // The header ends at the first line that does not begin with white space (RFC 5322 folding).
    std::size_t end = letter.find('\n');
    while (end != std::string::npos && end + 1 < letter.size() &&
           (letter[end + 1] == ' ' || letter[end + 1] == '\t')) {
        end = letter.find('\n', end + 1);
    }
    return end == std::string::npos ? std::string() : letter.substr(end + 1);
}

std::string PostfixServer::Log() const {
    return ReadFile(Root() / "postfix.log");
}

}  // namespace moxeltest
