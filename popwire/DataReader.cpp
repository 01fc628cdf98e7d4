#include "popwire/DataReader.h"

#include <algorithm>
#include <cstring>

#include "netframe/LastError.h"
#include "popwire/Transport.h"

namespace popwire {

namespace {

constexpr unsigned char kSevenBits = 0x7F;

// The states of matching the terminator "\r\n.\r\n": the bytes of it seen so far.
enum TerminatorState : int {
    kOutside = 0,
    kAfterCr = 1,
    kAtLineStart = 2,  // after "\r\n"
    kAfterDot = 3,     // after "\r\n."
    kAfterDotCr = 4,   // after "\r\n.\r"
    // The first line of the data, right after the status line: RFC 1939 servers stuff it like
    // any other, Dovecot does not. A doubled dot there is stuffing, a lone one followed by text
    // is data; "." alone still ends the data.
    kAtFirstLineStart = 5,
    kAfterFirstDot = 6,
};

// The caller's buffer, with what does not fit going to the client's held-back bytes. Bytes are
// cut to `mask` as they go out: the terminator and the stuffing are matched on the bytes as
// received, so that 0xAE is no dot and 0x8D 0x8A no line end.
class Output {
public:
    Output(char* target, int room, HeldBackBytes& overflow, unsigned char cut)
        : buffer(target), capacity(room), heldBack(overflow), mask(cut) {}

    void Put(char received) {
        const char byte = static_cast<char>(static_cast<unsigned char>(received) & mask);
        if (count < capacity) {
            buffer[count++] = byte;
        } else {
            heldBack.Push(byte);
        }
    }
    // Bytes of the middle of a line, which hold no CR and so nothing to match, in one go.
    void PutRun(const char* received, int length) {
        char* target = buffer + count;
        if (mask == 0xFF) {
            std::memcpy(target, received, static_cast<std::size_t>(length));
        } else {
            for (int index = 0; index < length; ++index) {
                target[index] =
                    static_cast<char>(static_cast<unsigned char>(received[index]) & mask);
            }
        }
        count += length;
    }
    int Room() const { return capacity - count; }
    bool Full() const { return count >= capacity; }
    int Count() const { return count; }
    char Last() const { return count > 0 ? buffer[count - 1] : '\0'; }

private:
    char* buffer;
    int capacity;
    HeldBackBytes& heldBack;
    unsigned char mask;
    int count = 0;
};

enum class DataStep { Byte, LineEnd, End };

// One byte of multi-line data through the terminator match (RFC 1939, 3: byte-stuffing).
DataStep TakeDataByte(int& state, char byte, Output& output) {
    switch (state) {
        case kAfterCr:
            if (byte == '\n') {
                state = kAtLineStart;
                output.Put(byte);
                return DataStep::LineEnd;
            }
            break;
        case kAtLineStart:
            if (byte == '.') {
                state = kAfterDot;
                return DataStep::Byte;
            }
            break;
        case kAfterDot:
            if (byte == '\r') {
                state = kAfterDotCr;
                return DataStep::Byte;
            }
            // A stuffed line: its first dot is dropped, the rest goes out as it is.
            state = kOutside;
            output.Put(byte);
            return DataStep::Byte;
        case kAtFirstLineStart:
            if (byte == '.') {
                state = kAfterFirstDot;
                return DataStep::Byte;
            }
            break;
        case kAfterFirstDot:
            if (byte == '\r') {
                state = kAfterDotCr;
                return DataStep::Byte;
            }
            // The first dot is stuffing before a second one, data before anything else.
            output.Put('.');
            if (byte == '.') {
                state = kOutside;
                return DataStep::Byte;
            }
            break;
        case kAfterDotCr:
            if (byte == '\n') {
                state = kOutside;
                return DataStep::End;
            }
            // The line was "." followed by "\r" and more: the dot was stuffing, the "\r" data.
            output.Put('\r');
            break;
        default:
            break;
    }
    // Outside the terminator, or a byte that broke the match: it may begin a new match.
    state = byte == '\r' ? kAfterCr : kOutside;
    output.Put(byte);
    return DataStep::Byte;
}

// The next byte of the server as it came; false with the last error. A failure leaves the
// rest of the answer unread, so the session is out of step from then on.
bool NextByte(PopClient& client, char& byte) {
    if (client.received.Empty() && !FillReceiveBuffer(client)) {
        // Nothing yet for a caller that reads on notifications: the session is still in step.
        if (client.readWithoutWaiting && netframe::GetLastErrorCode() == ERROR_POP_BLOCKED) {
            return false;
        }
        return Break(client);
    }
    byte = static_cast<char>(client.received.Take());
    return true;
}

// Inside a line of multi-line data, hands out the received bytes up to the next CR (at most
// what the output has room for) at once; the terminator match starts only at a CR. Returns
// false when there is nothing such to take.
bool TakeRunOfLine(PopClient& client, Output& output) {
    ReceiveBuffer& received = client.received;
    if (client.terminatorState != kOutside || received.Empty()) {
        return false;
    }
    const char* start = received.bytes.data() + received.position;
    const int available = std::min(received.count, output.Room());
    const void* carriageReturn = std::memchr(start, '\r', static_cast<std::size_t>(available));
    const int run = carriageReturn != nullptr
                        ? static_cast<int>(static_cast<const char*>(carriageReturn) - start)
                        : available;
    if (run == 0) {
        return false;
    }
    output.PutRun(start, run);
    received.position += run;
    received.count -= run;
    return true;
}

bool DropRestOfLine(PopClient& client) {
    char byte = '\0';
    while (byte != '\n') {
        if (!NextByte(client, byte)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void BeginMultiLine(PopClient& client) {
    client.multiLine = true;
    client.endOfData = false;
    client.terminatorState = kAtFirstLineStart;
}

int ReadServerData(PopClient& client, char* buffer, int capacity, Completeness completeness) {
    const OperationDeadline deadline(client, ReceiveLimit(client));
    const unsigned char mask = (client.lineMode & POP_MODE_BINARY) ? 0xFF : kSevenBits;
    Output output(buffer, capacity, client.heldBack, mask);
    while (!client.heldBack.Empty() && !output.Full()) {
        // Put would push it straight back while the buffer is full; it is not.
        output.Put(client.heldBack.Pop());
    }
    // The last byte taken as it came: a top-bit byte cut to "\n" ends no line.
    char lastTaken = output.Last();
    while (!output.Full()) {
        if (client.multiLine && TakeRunOfLine(client, output)) {
            continue;
        }
        char byte = 0;
        if (!NextByte(client, byte)) {
            const std::uint32_t error = netframe::GetLastErrorCode();
            const bool keepBytes = completeness == Completeness::AnyBytes &&
                                   (error == ERROR_POP_CLOSED || error == ERROR_POP_TIMEOUT ||
                                    error == ERROR_POP_BLOCKED);
            return output.Count() > 0 && keepBytes ? output.Count() : -1;
        }
        if (!client.multiLine) {
            lastTaken = byte;
            output.Put(byte);
            if (byte == '\n') {
                return output.Count();
            }
            continue;
        }
        const DataStep step = TakeDataByte(client.terminatorState, byte, output);
        if (step == DataStep::End) {
            client.multiLine = false;
            client.endOfData = true;
            return output.Count();
        }
        if (step == DataStep::LineEnd && (client.lineMode & POP_MODE_LINEBREAK)) {
            return output.Count();
        }
    }
    if (!client.multiLine && lastTaken != '\n' && !DropRestOfLine(client)) {
        return -1;
    }
    return output.Count();
}

}  // namespace popwire
