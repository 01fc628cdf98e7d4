#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <string>

namespace smtpwire {

using Clock = std::chrono::steady_clock;

// One TCP connection to an SMTP server, plain or TLS (OpenSSL over memory buffers, so that
// every byte passes through our own waits and no write can raise SIGPIPE). Every wait ends at
// the deadline of the operation that runs. Failures return false with the last error set.
// Owner thread of the session only.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects to the first address of `host` that answers.
    bool Open(const std::string& host, int port, Clock::time_point deadline);
    // Runs the TLS handshake, checking the certificate against the system's authorities and
    // against `host`.
    bool StartTls(const std::string& host, Clock::time_point deadline);
    bool Secure() const { return ssl != nullptr; }
    // True when the server sits on a loopback address (where plain-text credentials stay on
    // this machine).
    bool PeerIsLoopback() const;

    // Sends every byte.
    bool Send(std::string_view data, Clock::time_point deadline);
    // Reads one line (ended by LF, with or without CR; the line end is dropped). Bytes beyond
    // `limit` are read and dropped.
    bool ReadLine(std::string& line, std::size_t limit, Clock::time_point deadline);

    // Stops the socket at once (from any thread): every wait of the owner ends.
    void Shutdown();

private:
    bool Wait(short events, Clock::time_point deadline);
    bool SendRaw(std::string_view data, Clock::time_point deadline);
    // Receives into `buffer`; false with the last error (kErrorClosed at the end of stream).
    bool ReceiveRaw(Clock::time_point deadline);
    bool FlushTls(Clock::time_point deadline);
    bool FillBuffer(Clock::time_point deadline);

    struct SslFree {
        void operator()(SSL* session) const { SSL_free(session); }
    };
    struct ContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };

    int socket = -1;
    std::unique_ptr<SSL_CTX, ContextFree> context;
    std::unique_ptr<SSL, SslFree> ssl;
    BIO* fromNetwork = nullptr;  // owned by ssl
    BIO* toNetwork = nullptr;    // owned by ssl
    std::string raw;             // bytes received and not yet given to TLS or to a line
    std::string plain;           // decrypted bytes not yet taken by a line
};

}  // namespace smtpwire
