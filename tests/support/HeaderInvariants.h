#pragma once

#include <string>
#include <string_view>

namespace moxeltest {

// Feeds arbitrary bytes to the message header parser, ExtractAddress, the TOP extract and
// letter composition, and checks what must hold for every input. Returns the empty text when
// all holds, otherwise a description of the first broken rule. Shared by the fuzzer and by the
// test that replays its corpus.
std::string CheckHeaderInvariants(std::string_view input);

}  // namespace moxeltest
