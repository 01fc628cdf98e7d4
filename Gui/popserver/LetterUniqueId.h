#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The standard CRC-32 (zlib's: reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF). The table is built once per process on first use; any thread.
std::uint32_t Crc32(std::string_view bytes);

// The UIDL id of a letter: the CRC-32 of its text in lower-case hexadecimal, "-", and the
// letter's row id in decimal. The text alone would give two letters of the same text one id,
// and a mail program that keeps mail on the server would then never fetch the second; the row
// id stays with the letter for its life, also when it moves from box to box.
std::string LetterUniqueId(std::string_view text, std::int64_t letterId);
