#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/HeaderInvariants.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTests = fs::path(__FILE__).parent_path().parent_path();

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replays the fuzzer's checked-in corpus and the sample messages through the fuzzer's own
// checks, so that every build tests them, with or without clang.
TEST(HeaderCorpusTest, EveryInputKeepsTheParsersRules) {
    int replayed = 0;
    for (const fs::path& folder : {kTests / "fuzz" / "corpus", kTests / "database" / "messages"}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".")) {
                continue;
            }
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(moxeltest::CheckHeaderInvariants(ReadFile(entry.path())), "");
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 30);
}

}  // namespace
