#include "platform/ControlFrame.h"

#include <cstdint>

namespace platform::control_frame {

namespace {

void AppendLength(std::string& out, std::size_t length) {
    const auto value = static_cast<std::uint32_t>(length);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

std::uint32_t ReadLength(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

std::string Frame(std::string_view tag, const std::vector<std::string_view>& fields) {
    std::string body;
    for (const auto field : fields) {
        AppendLength(body, field.size());
        body.append(field);
    }
    std::string frame(tag);
    AppendLength(frame, body.size());
    return frame + body;
}

// The fields of `body`, or nullopt when a length runs past its end.
std::optional<std::vector<std::string>> SplitFields(std::string_view body) {
    std::vector<std::string> fields;
    while (!body.empty()) {
        if (body.size() < 4) {
            return std::nullopt;
        }
        const std::size_t length = ReadLength(body);
        body.remove_prefix(4);
        if (length > body.size()) {
            return std::nullopt;
        }
        fields.emplace_back(body.substr(0, length));
        body.remove_prefix(length);
    }
    return fields;
}

}  // namespace

std::string EncodeRequest(const ControlRequest& request) {
    std::vector<std::string_view> fields = {request.input};
    fields.insert(fields.end(), request.args.begin(), request.args.end());
    return Frame(kRequestTag, fields);
}

std::string EncodeReply(const ControlReply& reply) {
    const std::string status = std::to_string(reply.status);
    return Frame(kReplyTag, {status, reply.out, reply.err});
}

std::optional<std::size_t> ParseHeader(std::string_view header, std::string_view tag) {
    if (header.size() != kHeaderSize || header.substr(0, 4) != tag) {
        return std::nullopt;
    }
    const std::size_t length = ReadLength(header.substr(4));
    if (length > kMaxBody) {
        return std::nullopt;
    }
    return length;
}

std::optional<ControlRequest> DecodeRequest(std::string_view body) {
    auto fields = SplitFields(body);
    if (!fields || fields->empty() || fields->size() - 1 > kMaxWords) {
        return std::nullopt;
    }
    ControlRequest request;
    request.input = std::move(fields->front());
    request.args.assign(std::make_move_iterator(fields->begin() + 1),
                        std::make_move_iterator(fields->end()));
    return request;
}

std::optional<ControlReply> DecodeReply(std::string_view body) {
    auto fields = SplitFields(body);
    if (!fields || fields->size() != 3) {
        return std::nullopt;
    }
    const std::string& status = (*fields)[0];
    if (status.empty() || status.size() > 3 ||
        status.find_first_not_of("0123456789") != std::string::npos || std::stoi(status) > 255) {
        return std::nullopt;
    }
    return ControlReply{std::stoi(status), std::move((*fields)[1]), std::move((*fields)[2])};
}

}  // namespace platform::control_frame
