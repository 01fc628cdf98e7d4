#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One command for the running copy: the command's words ("accounts", "add", ...) and what the
// client read from its standard input for it (a password), possibly empty.
struct ControlRequest {
    std::vector<std::string> args;
    std::string input;
};

// What the command printed and its exit status (0 done, 1 failed, 2 bad usage).
struct ControlReply {
    int status = 1;
    std::string out;
    std::string err;
};

// The framing on the control socket. A frame is a 4-byte tag, a 4-byte big-endian body length
// and the body: a sequence of fields, each a 4-byte big-endian length and that many bytes.
// A request's fields are the input, then the words; a reply's are the status as decimal text,
// then the output and the error text. The old quit request, the bare word "quit", stays valid.
namespace control_frame {

inline constexpr std::string_view kQuitWord = "quit";
inline constexpr std::string_view kRequestTag = "MXRQ";
inline constexpr std::string_view kReplyTag = "MXRP";
inline constexpr std::size_t kHeaderSize = 8;
// Far above any command with a password, far below what could hurt the running copy.
inline constexpr std::size_t kMaxBody = 1 << 20;
inline constexpr std::size_t kMaxWords = 64;

std::string EncodeRequest(const ControlRequest& request);
std::string EncodeReply(const ControlReply& reply);

// The body length a header announces, or nullopt when the tag is not `tag` or the length is
// above kMaxBody. `header` holds kHeaderSize bytes.
std::optional<std::size_t> ParseHeader(std::string_view header, std::string_view tag);

// The message in a body, or nullopt when its fields do not fill it exactly, there are too many
// words, or a reply's status is not a number from 0 to 255.
std::optional<ControlRequest> DecodeRequest(std::string_view body);
std::optional<ControlReply> DecodeReply(std::string_view body);

}  // namespace control_frame

}  // namespace platform
