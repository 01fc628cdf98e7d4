#pragma once

#include <boost/uuid/uuid.hpp>
#include <cstddef>
#include <string>
#include <string_view>

#include "database/LetterTypes.h"

// Verification codes: "KVRQ-" followed by 32 hexadecimal digits. A code is sent to an unknown
// sender, who proves to be a person by replying with the code kept in the subject. Pure
// functions; any thread.

inline constexpr std::string_view kVerificationCodePrefix = "KVRQ-";
inline constexpr std::size_t kVerificationCodeLength = kVerificationCodePrefix.size() + 32;

// The unique id written for `guid`: its fields (the 32-bit first, the two 16-bit, then the
// eight bytes of the last one by one) as upper-case hexadecimal numbers without leading zeros
// and without separators; at most 32 characters. Throws Exception "Internal error: Unable to
// create a unique identifier" for the all-zero id.
std::string UniqueIdFromGuid(const boost::uuids::uuid& guid);

// UniqueIdFromGuid of a new random 128-bit id. Throws Exception "Internal error: Unable to
// create a unique identifier" when the system gives no id.
std::string CreateUniqueId();

// A new code: the prefix, a new unique id, padded at the end with '0' to the full length.
std::string MakeVerificationCode();

// Finds the code in `text`: only the first occurrence of the prefix is tried; it must be
// followed by 32 hexadecimal digits of either case. Returns true and sets `code` to the
// prefix and those digits as they stand; returns false (leaving `code` alone) otherwise.
bool ExtractVerificationCode(std::string_view text, std::string& code);

// Whether the subject of `letter` holds a code.
bool LetterHasVerificationCode(const Letter& letter);
