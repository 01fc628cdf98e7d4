#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "database/LetterData.h"
#include "database/MessageText.h"
#include "support/DatabaseFixture.h"
#include "support/LetterStoreFiles.h"

using namespace DatabaseLayer;
namespace fs = std::filesystem;

namespace {

const fs::path kMessages = fs::path(__FILE__).parent_path() / "messages";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Sample {
    const char* file;
    std::string sender;
    std::string recipient;
    std::string subject;
    std::string returnPath;
};

const std::vector<Sample> kSamples = {
    {"plain.eml", "alice@example.org", "bob@example.com", "Lunch on Friday?",
     "<alice@example.org>"},
    {"multipart_alternative.eml", "news@shop.example", "customer@example.com",
     "=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_dem_Shop?=", "<news@shop.example>"},
    {"latin1_8bit.eml", "jose@example.es", "info@example.com", "Caf\xe9 con leche \xa1ya!",
     "<jose@example.es>"},
    {"folded_headers.eml", "list@lists.example.net", "first@example.com",
     "[list] A very long subject line that has been folded over three lines",
     "<list-bounces@lists.example.net>"},
    {"odd_from_forms.eml", "first.last@example.org", "pat.obrien@example.ie", "Odd forms", ""},
    {"comment_from.eml", "user@example.net", "team@example.net", "Comment after the address", ""},
    {"bounce.eml", "mailer-daemon@mx.example.com", "alice@example.org",
     "Undelivered Mail Returned to Sender", "<>"},
    {"no_body.eml", "headers-only@example.com", "you@example.com", "Nothing follows", ""},
    {"attachment_base64.eml", "scanner@office.example", "archive@office.example", "Scan 0042", ""},
    {"utf8_invalid.eml", "pat@example.jp", "test@example.jp",
     "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xff\xfe broken", ""},
    {"mixed_line_ends.eml", "mixed@example.com", "lower@example.com", "mixed line ends", ""},
    {"group_to.eml", "sender@example.com", "undisclosed-recipients:", "Group syntax", ""},
};

using SampleMessagesTest = moxeltest::DatabaseTest;

TEST_F(SampleMessagesTest, EveryKindOfMessageIsStoredWithoutLoss) {
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        const std::string original = ReadFile(kMessages / sample.file);
        ASSERT_FALSE(original.empty());
        Letter letter;
        letter.StoreText(original);
        EXPECT_EQ(letter.GetSender(), sample.sender);
        EXPECT_EQ(letter.GetRecipient(), sample.recipient);
        EXPECT_EQ(letter.GetSubject(), sample.subject);
        EXPECT_EQ(letter.GetReturnPath(), sample.returnPath);
        EXPECT_EQ(letter.HasNullReturnPath(), sample.returnPath == "<>");
        // The file keeps every byte; reading drops only the carriage returns.
        EXPECT_EQ(moxeltest::ReadStoreFile(letter.GetSourceHandle()), original);
        const std::string text = RemoveCarriageReturns(original);
        EXPECT_EQ(letter.GetText(), text);
        EXPECT_EQ(letter.GetSize(), text.size());
        EXPECT_EQ(letter.GetTop(0), std::string(HeaderBlockOf(text)) + "\n\n");
        // A stored letter reads the same from a fresh object.
        letter.SetPersistent(true);
        const Letter again(letter.GetId());
        EXPECT_EQ(again.GetText(), text);
        EXPECT_EQ(again.GetSubject(), sample.subject);
    }
}

TEST_F(SampleMessagesTest, TheSamplesAreAllHere) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(kMessages)) {
        if (entry.path().extension() == ".eml") {
            files.push_back(entry.path().filename().string());
        }
    }
    EXPECT_EQ(files.size(), kSamples.size());
}

}  // namespace
