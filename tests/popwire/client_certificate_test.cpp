// Client certificates: Dovecot asks for one and accepts only certificates of its own test
// authority; the library picks a suitable one from the user's certificate folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PopwireTest.h"
#include "peers/DovecotServer.h"
#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"
#include "support/TestDataDir.h"

namespace {

using moxeltest::DovecotServer;
using moxeltest::TempDir;
using namespace popwiretest;
namespace fs = std::filesystem;

void Run(const std::string& command) {
    ASSERT_EQ(std::system(("(" + command + ") >/dev/null 2>&1").c_str()), 0) << command;
}

// A certificate authority made with openssl: its certificate `name`.pem and key `name`.key.
void MakeAuthority(const fs::path& folder, const std::string& name) {
    Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj '/CN=" +
        name +
        "' -addext basicConstraints=critical,CA:TRUE"
        " -addext keyUsage=critical,keyCertSign,cRLSign -keyout " +
        (folder / (name + ".key")).string() + " -out " + (folder / (name + ".pem")).string());
}

// A certificate for "tester" issued by `authority` with extended key usage `usage`, written
// with its key into `target` (PEM, certificate first).
void MakeClientCertificate(const fs::path& work, const std::string& authority,
                           const std::string& usage, const fs::path& target) {
    const std::string base = (work / target.stem()).string();
    std::ofstream(base + ".ext") << "extendedKeyUsage=" << usage << "\n";
    Run("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "
        "'/CN=tester' -keyout " +
        base + ".key -out " + base + ".csr");
    Run("openssl x509 -req -days 2 -in " + base + ".csr -CA " +
        (work / (authority + ".pem")).string() + " -CAkey " +
        (work / (authority + ".key")).string() + " -CAcreateserial -extfile " + base +
        ".ext -out " + base + ".crt");
    Run("cat " + base + ".crt " + base + ".key > " + target.string());
}

TEST_F(PopwireTest, AClientCertificateIsChosenByUsageAndIssuer) {
    ::unsetenv("SSL_CERT_FILE");
    TempDir work;
    MakeAuthority(work.Path(), "MoxelTestCA");
    MakeAuthority(work.Path(), "OtherCA");
    const fs::path store = work.Path() / "store";
    fs::create_directories(store);
    // Named so that the unsuitable ones come first.
    MakeClientCertificate(work.Path(), "MoxelTestCA", "clientAuth", store / "c-good.pem");
    MakeClientCertificate(work.Path(), "MoxelTestCA", "serverAuth", store / "a-server-only.pem");
    MakeClientCertificate(work.Path(), "OtherCA", "clientAuth", store / "b-stranger.pem");

    DovecotServer::Options options;
    options.extraConfiguration = "ssl_ca = <" + (work.Path() / "MoxelTestCA.pem").string() +
                                 "\nssl_verify_client_cert = yes\nssl_require_crl = no\n"
                                 "auth_ssl_require_client_cert = yes\n";
    DovecotServer server(options);
    server.AddMessage("tester", "Subject: certified\n\nhello\n");
    server.Start();

    struct Case {
        const char* label;
        std::vector<const char*> files;  // of the store, in the user's folder
        bool folder;
        bool loggedIn;
    };
    for (const Case& item : {
             Case{"clientAuth from the server's authority",
                  {"a-server-only.pem", "b-stranger.pem", "c-good.pem"},
                  true,
                  true},
             Case{"without clientAuth usage", {"a-server-only.pem"}, true, false},
             Case{"from another issuer", {"b-stranger.pem"}, true, false},
             Case{"no folder", {}, false, false},
         }) {
        SCOPED_TRACE(item.label);
        TempDir user;
        const fs::path folder = user.Path() / "certificates";
        if (item.folder) {
            fs::create_directories(folder);
            for (const char* file : item.files) {
                fs::copy_file(store / file, folder / file);
            }
        }
        ::setenv("MOXEL_CERTIFICATE_DIR", folder.c_str(), 1);
        const HCLIENT client = PopConnectExA("localhost", server.Pop3Port(), 10, POP_OPTION_SECURE);
        std::uint32_t error = client == INVALID_CLIENT ? LastError() : 0;
        if (client != INVALID_CLIENT) {
            error = PopLoginA(client, "tester", "secret") == 0 ? 0 : LastError();
            PopDisconnect(client);
        }
        // Dovecot lets a client without a suitable certificate finish the handshake and then
        // refuses its login.
        EXPECT_EQ(error, item.loggedIn ? 0U : Code(ERROR_POP_AUTHFAIL)) << server.Log();
    }
    ::unsetenv("MOXEL_CERTIFICATE_DIR");
}

TEST_F(PopwireTest, AServerThatInsistsOnACertificateTheUserLacksFailsWithCredentials) {
    TempDir work;
    MakeAuthority(work.Path(), "MoxelTestCA");
    std::uint16_t port = 0;
    { const moxeltest::Descriptor probe = moxeltest::ListenOnLoopback(port); }
    // OpenSSL's own test server, which ends the handshake of a client without a certificate.
    moxeltest::ChildProcess server("/usr/bin/openssl",
                                   {"s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                                    "-cert", (work.Path() / "MoxelTestCA.pem").string(), "-key",
                                    (work.Path() / "MoxelTestCA.key").string(), "-CAfile",
                                    (work.Path() / "MoxelTestCA.pem").string(), "-Verify", "1"},
                                   {}, {}, std::string(64 * 1024, '\n'));
    // Listening once a probe gets through; the probe's broken handshake costs it nothing.
    for (int i = 0; i < 200; ++i) {
        try {
            moxeltest::ConnectToLoopback(port);
            break;
        } catch (const std::runtime_error&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    TempDir user;
    ::setenv("MOXEL_CERTIFICATE_DIR", (user.Path() / "none").c_str(), 1);
    EXPECT_EQ(PopConnectExA("127.0.0.1", port, 10, POP_OPTION_SECURE_NOEXT), INVALID_CLIENT);
    EXPECT_EQ(LastError(), Code(ERROR_POP_SECURE_CREDENTIALS)) << server.Stderr();
    ::unsetenv("MOXEL_CERTIFICATE_DIR");
}

}  // namespace
