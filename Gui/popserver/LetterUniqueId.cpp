#include "popserver/LetterUniqueId.h"

#include <array>

#include "core/Format.h"

namespace {

using Crc32Table = std::array<std::uint32_t, 256>;

Crc32Table MakeTable() {
    Crc32Table table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1U) : c >> 1U;
        }
        table[n] = c;
    }
    return table;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    static const Crc32Table table = MakeTable();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFFU] ^ (crc >> 8U);
    }
    return crc ^ 0xFFFFFFFFU;
}

std::string LetterUniqueId(std::string_view text, std::int64_t letterId) {
    return Format("%1$x-%2%", Crc32(text), letterId);
}
