#include "popwire/DataReader.h"

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
};

// The caller's buffer, with what does not fit going to the client's held-back bytes.
class Output {
public:
    Output(char* target, int room, HeldBackBytes& overflow)
        : buffer(target), capacity(room), heldBack(overflow) {}

    void Put(char byte) {
        if (count < capacity) {
            buffer[count++] = byte;
        } else {
            heldBack.Push(byte);
        }
    }
    bool Full() const { return count >= capacity; }
    int Count() const { return count; }
    char Last() const { return count > 0 ? buffer[count - 1] : '\0'; }

private:
    char* buffer;
    int capacity;
    HeldBackBytes& heldBack;
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

// The next byte of the server as the line mode shows it; false with the last error.
bool NextByte(PopClient& client, char& byte) {
    if (client.received.Empty() && !FillReceiveBuffer(client)) {
        return false;
    }
    unsigned char value = client.received.Take();
    if (!(client.lineMode & POP_MODE_BINARY)) {
        value &= kSevenBits;
    }
    byte = static_cast<char>(value);
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
    client.terminatorState = kAtLineStart;
}

int ReadServerData(PopClient& client, char* buffer, int capacity, Completeness completeness) {
    Output output(buffer, capacity, client.heldBack);
    while (!client.heldBack.Empty() && !output.Full()) {
        // Put would push it straight back while the buffer is full; it is not.
        output.Put(client.heldBack.Pop());
    }
    while (!output.Full()) {
        char byte;
        if (!NextByte(client, byte)) {
            const std::uint32_t error = netframe::GetLastErrorCode();
            const bool keepBytes = completeness == Completeness::AnyBytes &&
                                   (error == ERROR_POP_CLOSED || error == ERROR_POP_TIMEOUT);
            return output.Count() > 0 && keepBytes ? output.Count() : -1;
        }
        if (!client.multiLine) {
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
    if (!client.multiLine && output.Last() != '\n' && !DropRestOfLine(client)) {
        return -1;
    }
    return output.Count();
}

}  // namespace popwire
