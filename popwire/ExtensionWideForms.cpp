// The UTF-16 forms of the extension commands, the message store and send, and the password
// change: each converts its text to UTF-8, calls the A form and converts text results back.
#include <string>
#include <vector>

#include "netframe/LastError.h"
#include "netframe/TextConversion.h"
#include "popwire.h"

namespace {

// Null stays null, so that the A form reports it as it would its own null.
class Narrow {
public:
    explicit Narrow(const char16_t* text)
        : isNull(text == nullptr), value(netframe::ToUtf8(text)) {}
    const char* Get() const { return isNull ? nullptr : value.c_str(); }

private:
    bool isNull;
    std::string value;
};

// Room in UTF-8 for what fits in `capacity` UTF-16 units (each unit at most 3 bytes), up to
// the longest text these functions give: a status line or one listed header line.
int NarrowCapacity(int capacity) {
    constexpr int kLongestText = 8192;
    return capacity >= kLongestText / 3 ? kLongestText : capacity * 3 + 1;
}

// Runs an A form that fills a text buffer and returns its length, then converts the text
// into the caller's buffer. The A form checks the buffer and capacity as given.
template <typename Call>
int IntoWideBuffer(char16_t* buffer, int capacity, Call call) {
    if (!buffer || capacity <= 0) {
        return call(nullptr, capacity);
    }
    std::vector<char> narrow(static_cast<std::size_t>(NarrowCapacity(capacity)), '\0');
    const int result = call(narrow.data(), static_cast<int>(narrow.size()));
    if (result < 0) {
        return result;
    }
    return netframe::CopyTruncated(netframe::ToUtf16(narrow.data()), buffer, capacity);
}

}  // namespace

extern "C" {

int PopGetMessageSenderW(HCLIENT handle, int message, char16_t* buffer, int capacity) {
    // The A form's least capacity holds for the caller's buffer.
    if (buffer && capacity < 2) {
        return PopGetMessageSenderA(handle, message, nullptr, capacity);
    }
    return IntoWideBuffer(buffer, capacity, [&](char* narrow, int size) {
        return PopGetMessageSenderA(handle, message, narrow, size);
    });
}

int PopGetHeaderValueW(HCLIENT handle, int message, const char16_t* header, char16_t* buffer,
                       int capacity) {
    const Narrow narrowHeader(header);
    return IntoWideBuffer(buffer, capacity, [&](char* narrow, int size) {
        return PopGetHeaderValueA(handle, message, narrowHeader.Get(), narrow, size);
    });
}

int PopStoreMessageW(HCLIENT handle, int message, const char16_t* fileName) {
    return PopStoreMessageA(handle, message, Narrow(fileName).Get());
}

int PopSendMessageW(HCLIENT handle, const char16_t* fileName) {
    return PopSendMessageA(handle, Narrow(fileName).Get());
}

int PopChangePasswordW(HCLIENT handle, const char16_t* user, const char16_t* oldPassword,
                       const char16_t* newPassword) {
    return PopChangePasswordA(handle, Narrow(user).Get(), Narrow(oldPassword).Get(),
                              Narrow(newPassword).Get());
}

}  // extern "C"
