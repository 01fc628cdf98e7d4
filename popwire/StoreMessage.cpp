// Storing a message into a file or onto the desktop clipboard, with progress events.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <string>

#include "netframe/LastError.h"
#include "popwire.h"
#include "popwire/Clipboard.h"
#include "popwire/DataReader.h"
#include "popwire/Events.h"
#include "popwire/HeaderValue.h"
#include "popwire/Notification.h"
#include "popwire/Transport.h"

using netframe::Fail;
using popwire::PopClient;

namespace {

constexpr int kPieceSize = 4096;
// The first reservation for clipboard text follows the LIST size only up to here: the size is
// the server's word, not a promise.
constexpr std::size_t kLargestReservation = 16 * 1024 * 1024;

// A new file beside the target, private to the user, that replaces the target only once it is
// complete and on disk: a failed store leaves whatever was there before. Removed unless
// committed.
class PendingFile {
public:
    explicit PendingFile(const std::string& finalName)
        : target(finalName), path(finalName + ".XXXXXX") {
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        created = fd >= 0;
    }
    ~PendingFile() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (created && !committed) {
            ::unlink(path.c_str());
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool Opened() const { return fd >= 0; }

    bool Write(const char* data, std::size_t length) {
        while (length > 0) {
            const ssize_t written = ::write(fd, data, length);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            data += written;
            length -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // Makes the file durable and puts it in the target's place.
    bool Commit() {
        const bool synced = ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        fd = -1;
        committed = synced && closed && ::rename(path.c_str(), target.c_str()) == 0;
        return committed;
    }

private:
    std::string target;
    std::string path;
    int fd = -1;
    bool created = false;
    bool committed = false;
};

// Where the pieces of the message go: the pending file, or memory for the clipboard. A piece
// that cannot be kept is remembered, and the message is still read to its end so that the
// session stays in step with the server.
class Destination {
public:
    Destination(PendingFile* pending, std::uint32_t announcedSize) : file(pending) {
        if (!file) {
            try {
                const std::size_t pieces = announcedSize / kPieceSize + 2;
                text.reserve(std::min(pieces * kPieceSize, kLargestReservation));
            } catch (const std::bad_alloc&) {
                // The text grows as it comes instead.
            }
        }
    }

    void Keep(const char* piece, int length) {
        if (failure != ERROR_POP_NONE) {
            return;
        }
        if (file) {
            if (!file->Write(piece, static_cast<std::size_t>(length))) {
                failure = ERROR_POP_STOREFILE;
            }
            return;
        }
        try {
            text.append(piece, static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            failure = ERROR_POP_MEMORY;
            text.clear();
        }
    }

    std::uint32_t Failure() const { return failure; }
    const std::string& Text() const { return text; }

private:
    PendingFile* file;
    std::string text;
    std::uint32_t failure = ERROR_POP_NONE;
};

// Reads the open message to its end into `destination`, a progress event after each piece.
bool ReadMessage(PopClient& client, Destination& destination) {
    char piece[kPieceSize];
    while (!client.endOfData) {
        const int count = popwire::ReadServerData(client, piece, kPieceSize);
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            break;
        }
        client.bytesCopied += static_cast<std::uint32_t>(count);
        destination.Keep(piece, count);
        popwire::DeliverEvent(client, POP_EVENT_PROGRESS, 0);
    }
    return true;
}

}  // namespace

extern "C" {

int PopStoreMessageA(HCLIENT handle, int message, const char* fileName) {
    const popwire::ClientPointer client = popwire::LoggedInClient(handle);
    if (!client) {
        return POP_ERROR;
    }
    const bool toClipboard = !fileName || !*fileName;
    if (toClipboard && !popwire::Clipboard::Reachable()) {
        return Fail(ERROR_POP_CLIPBOARD, POP_ERROR);
    }
    // The file is made before the message is asked for: a folder that takes no file costs no
    // download.
    std::optional<PendingFile> file;
    if (!toClipboard) {
        file.emplace(fileName);
        if (!file->Opened()) {
            return Fail(ERROR_POP_STOREFILE, POP_ERROR);
        }
    }
    // The library reads the text itself: the caller hears no read notification meanwhile.
    const popwire::HeldNotifications held(*client);
    // Whole pieces, not lines, whatever the caller's mode.
    const popwire::LineModeOverride wholePieces(*client, 0, POP_MODE_LINEBREAK);
    std::uint32_t size = 0;
    if (PopGetMessage(handle, message, &size) != 0) {
        return POP_ERROR;
    }
    Destination destination(file ? &*file : nullptr, size);
    if (!ReadMessage(*client, destination)) {
        return POP_ERROR;
    }
    if (destination.Failure() != ERROR_POP_NONE) {
        return Fail(destination.Failure(), POP_ERROR);
    }
    if (file) {
        if (!file->Commit()) {
            return Fail(ERROR_POP_STOREFILE, POP_ERROR);
        }
    } else {
        const auto limit = popwire::SendLimit(*client).value_or(std::chrono::seconds(60));
        if (!popwire::Clipboard::Put(destination.Text(),
                                     std::chrono::steady_clock::now() + limit)) {
            return Fail(ERROR_POP_CLIPBOARD, POP_ERROR);
        }
    }
    netframe::SetLastErrorCode(ERROR_POP_NONE);
    return 0;
}

}  // extern "C"
