#pragma once

namespace popwire {

// The raw bytes of a connection, as the TLS layer sends and receives them. Used on the
// connection's owner thread.
class ByteChannel {
public:
    virtual ~ByteChannel() = default;

    // Receives up to `capacity` bytes, waiting as long as the connection's rules allow.
    // Returns the count, 0 when the peer closed the connection, or -1 with the last error set.
    virtual int Receive(char* buffer, int capacity) = 0;

    // Sends every byte; false with the last error set.
    virtual bool Send(const char* data, int length) = 0;
};

}  // namespace popwire
