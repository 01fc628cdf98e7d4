#include "peers/DovecotServer.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/LoopbackSockets.h"

namespace moxeltest {

namespace {

constexpr char kDovecotProgram[] = "/usr/sbin/dovecot";
constexpr auto kStartTimeout = std::chrono::seconds(15);
// Dovecot's master sometimes waits for its service processes for seconds after SIGTERM;
// tests do not wait for that.
constexpr auto kPoliteStopTimeout = std::chrono::seconds(2);
constexpr auto kStopTimeout = std::chrono::seconds(10);
constexpr int kStartAttempts = 3;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// The processes whose parent is `parent` (from /proc).
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold spaces, so read after its ")".
        const std::size_t close = line.rfind(')');
        std::istringstream rest(close == std::string::npos ? "" : line.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        if (rest >> state >> ppid && ppid == parent) {
            children.push_back(static_cast<pid_t>(std::stol(line)));
        }
    }
    return children;
}

bool Gone(pid_t pid) {
    return ::kill(pid, 0) != 0;
}

bool Accepts(std::uint16_t port) {
    try {
        ConnectToLoopback(port);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

}  // namespace

DovecotServer::DovecotServer() : DovecotServer(Options()) {}

DovecotServer::DovecotServer(Options chosen) : options(std::move(chosen)) {
    if (::geteuid() == 0) {
        // Dovecot refuses mail access as root; "nobody" exists on every Debian system.
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) {
            throw std::runtime_error("the user nobody does not exist");
        }
        serviceUser = nobody->pw_name;
        mailUid = nobody->pw_uid;
        mailGid = nobody->pw_gid;
    } else {
        const passwd* self = ::getpwuid(::geteuid());
        if (!self) {
            throw std::runtime_error("the calling user has no name");
        }
        serviceUser = self->pw_name;
        mailUid = self->pw_uid;
        mailGid = ::getegid();
    }
    const group* mailGroup = ::getgrgid(mailGid);
    if (!mailGroup) {
        throw std::runtime_error("the mail group has no name");
    }
    serviceGroup = mailGroup->gr_name;
    PrepareFolders();
}

DovecotServer::~DovecotServer() {
    try {
        Stop();
    } catch (...) {
        // The child is killed with its ChildProcess in any case.
    }
}

std::filesystem::path DovecotServer::CertificateFile() const {
    return Root() / "certificate.pem";
}

std::filesystem::path DovecotServer::Maildir(const std::string& user) const {
    return Root() / "home" / user / "Maildir";
}

void DovecotServer::HandOver(const std::filesystem::path& path) const {
    if (::geteuid() == 0 && ::chown(path.c_str(), mailUid, mailGid) != 0) {
        throw std::runtime_error("cannot hand " + path.string() + " to the mail user");
    }
}

void DovecotServer::PrepareFolders() {
    namespace fs = std::filesystem;
    // Dovecot's unprivileged processes must reach the folder.
    fs::permissions(Root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(Root() / "run");
    fs::create_directories(Root() / "state");
    std::string passwords;
    for (const auto& [user, password] : options.users) {
        passwords += user + ":{PLAIN}" + password + "\n";
        const fs::path maildir = Maildir(user);
        for (const char* part : {"cur", "new", "tmp"}) {
            fs::create_directories(maildir / part);
        }
        for (const fs::path& path : {Root() / "home", Root() / "home" / user, maildir,
                                     maildir / "cur", maildir / "new", maildir / "tmp"}) {
            HandOver(path);
        }
    }
    WriteFile(Root() / "passwd", passwords);
    WriteSelfSignedCertificate(options.certificate, CertificateFile(), Root() / "key.pem");
}

void DovecotServer::WriteConfiguration() const {
    const std::string root = Root().string();
    std::ostringstream conf;
    conf << "base_dir = " << root << "/run\n"
         << "state_dir = " << root << "/state\n"
         << "instance_name = moxeltest-" << pop3Port << "\n"
         << "log_path = " << root << "/dovecot.log\n"
         << "protocols = pop3\n"
         << "listen = 127.0.0.1\n"
         << "ssl = yes\n"
         << "ssl_cert = <" << root << "/certificate.pem\n"
         << "ssl_key = <" << root << "/key.pem\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain apop\n"
         << "auth_failure_delay = 0\n"
         << "default_internal_user = " << serviceUser << "\n"
         << "default_internal_group = " << serviceGroup << "\n"
         << "default_login_user = " << serviceUser << "\n"
         << "first_valid_uid = 1\n"
         << "first_valid_gid = 1\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " << root
         << "/passwd\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << mailUid << " gid=" << mailGid
         << " home=" << root << "/home/%u\n}\n"
         << "mail_location = maildir:~/Maildir\n"
         << "service pop3-login {\n  chroot =\n"
         << "  inet_listener pop3 {\n    port = " << pop3Port << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << pop3sPort << "\n    ssl = yes\n  }\n}\n"
         << "service anvil {\n  chroot =\n}\n"
         << options.extraConfiguration;
    WriteFile(Root() / "dovecot.conf", conf.str());
    std::filesystem::permissions(Root() / "passwd", std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_write |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
}

bool DovecotServer::WaitUntilListening(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process->IsRunning()) {
            return false;
        }
        if (Accepts(pop3Port) && Accepts(pop3sPort)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void DovecotServer::Start() {
    if (process) {
        return;
    }
    // A free port may be taken by someone else before Dovecot binds it; then try others.
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        pop3Port = UnusedLoopbackPort();
        pop3sPort = options.pop3sPort != 0 ? options.pop3sPort : UnusedLoopbackPort();
        WriteConfiguration();
        process = std::make_unique<ChildProcess>(
            kDovecotProgram,
            std::vector<std::string>{"-F", "-c", (Root() / "dovecot.conf").string()});
        if (WaitUntilListening(kStartTimeout)) {
            return;
        }
        const std::string log = Log();
        Stop();
        if (attempt == kStartAttempts) {
            throw std::runtime_error("Dovecot did not start:\n" + log);
        }
    }
}

void DovecotServer::Stop() {
    if (!process) {
        return;
    }
    // The master takes its service processes down with it, unless it dawdles: then the
    // master and the processes it started are ended by force.
    process->Signal(SIGTERM);
    if (!process->WaitFor(kPoliteStopTimeout)) {
        Kill();
    }
    process.reset();
}

void DovecotServer::Kill() {
    if (!process) {
        return;
    }
    const std::vector<pid_t> services = ChildrenOf(process->Pid());
    process->Signal(SIGKILL);
    for (const pid_t service : services) {
        ::kill(service, SIGKILL);
    }
    process->WaitFor(kStopTimeout);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (!std::all_of(services.begin(), services.end(), &Gone) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    process.reset();
}

void DovecotServer::AddMessage(const std::string& user, const std::string& text) {
    if (!options.users.contains(user)) {
        throw std::runtime_error("no mailbox for " + user);
    }
    // Dovecot numbers new messages in the order of the time stamp that leads their name.
    ++nextMessage;
    const std::string name = std::to_string(1000000000 + nextMessage) + ".M" +
                             std::to_string(nextMessage) + "P" + std::to_string(::getpid()) +
                             ".moxeltest";
    const auto staged = Maildir(user) / "tmp" / name;
    WriteFile(staged, text);
    HandOver(staged);
    std::filesystem::rename(staged, Maildir(user) / "new" / name);
}

int DovecotServer::MessageCount(const std::string& user) const {
    int count = 0;
    for (const char* part : {"new", "cur"}) {
        for (const auto& entry : std::filesystem::directory_iterator(Maildir(user) / part)) {
            count += entry.is_regular_file() ? 1 : 0;
        }
    }
    return count;
}

std::string DovecotServer::Log() const {
    std::string log = ReadFile(Root() / "dovecot.log");
    if (process) {
        log += process->Stderr();
    }
    return log;
}

}  // namespace moxeltest
