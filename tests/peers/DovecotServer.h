#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "peers/TestCertificate.h"
#include "support/ChildProcess.h"
#include "support/TestDataDir.h"

namespace moxeltest {

// A throw-away Dovecot POP3 server on loopback, the real upstream server of the tests and
// benchmarks. Everything lives in a temporary folder: configuration, base_dir, state, log, a
// self-signed certificate, a passwd-file with plain passwords (so that USER/PASS and APOP both
// work) and one Maildir per user, which the test fills. It listens on two free loopback ports:
// plain POP3 with STLS, and POP3S. Run as root, Dovecot's processes and the mail run as
// "nobody"; otherwise everything runs as the calling user. Used by one test thread.
class DovecotServer {
public:
    struct Options {
        // User name and plain password of each mailbox.
        std::map<std::string, std::string> users{{"tester", "secret"}};
        CertificateProfile certificate;
        // Further lines of dovecot.conf, e.g. "pop3_reuse_xuidl = yes\n".
        std::string extraConfiguration;
        // The POP3S port; 0 for a free one (995 to test the standard port, which only root may
        // bind).
        std::uint16_t pop3sPort = 0;
    };

    DovecotServer();
    explicit DovecotServer(Options options);
    // Stops the server (if running) and removes its folder.
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Starts Dovecot and waits until both ports accept connections. Throws std::runtime_error
    // with Dovecot's log when it does not come up.
    void Start();
    // Stops Dovecot and waits for it to end; does nothing when it is not running.
    void Stop();
    // Ends Dovecot and every process it started at once, as a crash would: open sessions drop
    // where they are. Does nothing when it is not running.
    void Kill();

    std::uint16_t Pop3Port() const { return pop3Port; }
    std::uint16_t Pop3sPort() const { return pop3sPort; }
    // The server's certificate (PEM), for a client that is to trust it.
    std::filesystem::path CertificateFile() const;

    // Puts a message into the user's Maildir as it stands (LF or CR LF line ends; Dovecot
    // serves both with CR LF). Messages keep the order in which they were added. May be called
    // before and while the server runs.
    void AddMessage(const std::string& user, const std::string& text);
    // The messages in the user's Maildir (new and seen ones); deleted ones are gone once the
    // POP3 session that deleted them has ended with QUIT.
    int MessageCount(const std::string& user) const;

    // Dovecot's log so far, for failure messages.
    std::string Log() const;

private:
    std::filesystem::path Root() const { return folder.Path(); }
    std::filesystem::path Maildir(const std::string& user) const;
    void WriteConfiguration() const;
    void PrepareFolders();
    void HandOver(const std::filesystem::path& path) const;
    bool WaitUntilListening(std::chrono::milliseconds timeout);

    Options options;
    TempDir folder;
    std::string serviceUser;
    std::string serviceGroup;
    unsigned mailUid = 0;
    unsigned mailGid = 0;
    std::uint16_t pop3Port = 0;
    std::uint16_t pop3sPort = 0;
    unsigned nextMessage = 0;
    std::unique_ptr<ChildProcess> process;
};

}  // namespace moxeltest
