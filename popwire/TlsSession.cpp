#include "popwire/TlsSession.h"

#include <arpa/inet.h>
#include <openssl/err.h>

#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/SecurityDescription.h"
#include "popwire/TlsContext.h"

namespace popwire {

using netframe::Fail;

namespace {

// Room for the largest TLS record (16 KB of data plus its overhead) several times over.
constexpr std::size_t kEncryptedBufferSize = 64 * 1024;

bool IsDottedAddress(const std::string& host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

}  // namespace

std::unique_ptr<TlsSession> TlsSession::Create(const std::string& host) {
    TlsContextPointer context = TlsContext::Make();
    if (!context) {
        return nullptr;
    }
    SSL* ssl = SSL_new(context.get());
    BIO* incoming = BIO_new(BIO_s_mem());
    BIO* outgoing = BIO_new(BIO_s_mem());
    if (!ssl || !incoming || !outgoing) {
        SSL_free(ssl);
        BIO_free(incoming);
        BIO_free(outgoing);
        return Fail(ERROR_POP_SECURE_CREDENTIALS, nullptr);
    }
    // An empty memory buffer means "no bytes yet", not the end of the stream.
    BIO_set_mem_eof_return(incoming, -1);
    SSL_set_bio(ssl, incoming, outgoing);
    std::unique_ptr<TlsSession> session(
        new TlsSession(std::move(context), ssl, incoming, outgoing));
    SSL_set_connect_state(ssl);
    bool named = SSL_set_ex_data(ssl, TlsContext::FaultsIndex(), &session->faults) == 1 &&
                 SSL_set_ex_data(ssl, TlsContext::MissingCertificateIndex(),
                                 &session->certificateMissing) == 1;
    if (IsDottedAddress(host)) {
        named = named && X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    } else {
        named = named && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 &&
                SSL_set1_host(ssl, host.c_str()) == 1;
    }
    return named ? std::move(session) : Fail(ERROR_POP_SECURE_CREDENTIALS, nullptr);
}

TlsSession::TlsSession(TlsContextPointer configuration, SSL* session, BIO* incoming, BIO* outgoing)
    : context(std::move(configuration)),
      ssl(session),
      fromNetwork(incoming),
      toNetwork(outgoing),
      encrypted(kEncryptedBufferSize) {}

TlsSession::~TlsSession() = default;

bool TlsSession::Flush(ByteChannel& channel) {
    char chunk[16 * 1024];
    while (BIO_ctrl_pending(toNetwork) > 0) {
        const int taken = BIO_read(toNetwork, chunk, sizeof(chunk));
        if (taken <= 0) {
            break;
        }
        if (!channel.Send(chunk, taken)) {
            return false;
        }
    }
    return true;
}

int TlsSession::Feed(ByteChannel& channel) {
    const int received = channel.Receive(encrypted.data(), static_cast<int>(encrypted.size()));
    if (received <= 0) {
        return received;
    }
    BIO_write(fromNetwork, encrypted.data(), received);
    return 1;
}

bool TlsSession::Handshake(ByteChannel& channel) {
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl.get());
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl.get(), result);
        // Whatever the engine wrote (the next flight, or an alert) goes out first.
        if (!Flush(channel)) {
            return false;
        }
        if (error == SSL_ERROR_NONE) {
            return true;
        }
        if (error != SSL_ERROR_WANT_READ) {
            return Fail(RefusalError(), false);
        }
        const int fed = Feed(channel);
        if (fed == 0) {
            return Fail(RefusalError(), false);
        }
        if (fed < 0) {
            const std::uint32_t cause = netframe::GetLastErrorCode();
            return cause == ERROR_POP_TIMEOUT || cause == ERROR_POP_CANCELED
                       ? false
                       : Fail(ERROR_POP_SECURE_CONTEXT, false);
        }
    }
}

int TlsSession::Read(ByteChannel& channel, char* buffer, int capacity) {
    for (;;) {
        ERR_clear_error();
        const int result = SSL_read(ssl.get(), buffer, capacity);
        if (result > 0) {
            return result;
        }
        const int error = SSL_get_error(ssl.get(), result);
        // TLS 1.3 may answer the server (key updates) while reading.
        if (!Flush(channel)) {
            return -1;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            return 0;
        }
        if (error != SSL_ERROR_WANT_READ) {
            // TLS 1.3 tells a client refused for its certificate only after the handshake.
            return Fail(certificateMissing ? ERROR_POP_SECURE_CREDENTIALS : ERROR_POP_READ, -1);
        }
        const int fed = Feed(channel);
        if (fed <= 0) {
            return fed;
        }
    }
}

bool TlsSession::Write(ByteChannel& channel, const char* data, int length) {
    ERR_clear_error();
    // With memory buffers a write never waits: it encrypts everything at once.
    if (length > 0 && SSL_write(ssl.get(), data, length) != length) {
        return Fail(ERROR_POP_WRITE, false);
    }
    return Flush(channel);
}

std::uint32_t TlsSession::RefusalError() const {
    return certificateMissing ? ERROR_POP_SECURE_CREDENTIALS : ERROR_POP_SECURE_CONTEXT;
}

bool TlsSession::HasBufferedInput() const {
    return SSL_pending(ssl.get()) > 0 || BIO_ctrl_pending(fromNetwork) > 0;
}

std::string TlsSession::Goodbye() {
    ERR_clear_error();
    SSL_shutdown(ssl.get());
    std::string bytes(BIO_ctrl_pending(toNetwork), '\0');
    const int taken =
        bytes.empty() ? 0 : BIO_read(toNetwork, bytes.data(), static_cast<int>(bytes.size()));
    bytes.resize(taken > 0 ? static_cast<std::size_t>(taken) : 0);
    return bytes;
}

SecurityDetails TlsSession::Describe() const {
    return DescribeSession(ssl.get(), faults.Status());
}

}  // namespace popwire
