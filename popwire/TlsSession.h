#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "popwire/ByteChannel.h"
#include "popwire/CertificateFaults.h"
#include "popwire/SecurityDetails.h"
#include "popwire/TlsContext.h"

namespace popwire {

// The TLS layer of one connection on OpenSSL: a client session whose encrypted bytes pass
// through memory buffers, so that they travel over the connection's own Winsock socket with
// its waits. Used by the connection's owner thread only.
class TlsSession {
public:
    // A session that will check the server's certificate against `host` (a name or a dotted
    // address). Null with ERROR_POP_SECURE_CREDENTIALS when OpenSSL cannot make one.
    static std::unique_ptr<TlsSession> Create(const std::string& host);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the handshake. False with the last error: ERROR_POP_SECURE_CONTEXT when the server
    // does not speak TLS or refuses, ERROR_POP_SECURE_CREDENTIALS when it refuses a client
    // without a suitable certificate, or the channel's error for a wait that ran out or was
    // cancelled.
    bool Handshake(ByteChannel& channel);

    // Up to `capacity` decrypted bytes. Returns the count; 0 when the server ended the session
    // or closed the connection; -1 with the last error (the channel's, or ERROR_POP_READ for
    // a broken session).
    int Read(ByteChannel& channel, char* buffer, int capacity);

    // Encrypts and sends every byte; false with the last error (the channel's, or
    // ERROR_POP_WRITE).
    bool Write(ByteChannel& channel, const char* data, int length);

    // Input that has arrived and not been handed out yet (decrypted, or records still to open).
    bool HasBufferedInput() const;

    // The bytes that tell the server the session ends (close_notify), to be sent as the
    // connection closes.
    std::string Goodbye();

    // Protocol, cipher and certificate of the established session.
    SecurityDetails Describe() const;

private:
    TlsSession(TlsContextPointer configuration, SSL* session, BIO* incoming, BIO* outgoing);
    bool Flush(ByteChannel& channel);
    // The error of a handshake the server broke off.
    std::uint32_t RefusalError() const;
    // Receives more encrypted bytes; 1, 0 when the peer closed, -1 with the last error.
    int Feed(ByteChannel& channel);

    struct SslFree {
        void operator()(SSL* ssl) const { SSL_free(ssl); }
    };
    TlsContextPointer context;
    std::unique_ptr<SSL, SslFree> ssl;
    BIO* fromNetwork;  // owned by `ssl`
    BIO* toNetwork;    // owned by `ssl`
    CertificateFaults faults;
    // The server asked for a client certificate and none suited it: a refusal of the server is
    // then told as a credentials failure.
    bool certificateMissing = false;
    std::vector<char> encrypted;  // one receive of encrypted bytes
};

}  // namespace popwire
