// Held mail against real peers: a running copy collects a small corpus from Dovecot and sends
// its verification letters to aiosmtpd; the held-mail commands then act on the stored letters.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "peers/AiosmtpdServer.h"
#include "peers/DovecotServer.h"
#include "support/ChildProcess.h"
#include "support/FreePopPort.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct CorpusLetter {
    const char* label;
    std::string text;
    // Whether its sender is a person who gets a verification letter.
    bool person;
};

// One of each kind that must get no verification letter, and people, some with headers that
// only look automatic.
const std::vector<CorpusLetter> kCorpus = {
    {"a person, encoded subject, Message-ID",
     "From: Stranger <Stranger@Example.NET>\nSubject: =?utf-8?q?Caf=C3=A9?= plans\n"
     "Message-ID: <m1.x@example.net>\n\nText\n",
     true},
    {"a mailing list",
     "From: list@lists.example.org\nList-Id: <x.lists.example.org>\n"
     "Subject: Digest\n\nText\n",
     false},
    {"bulk mail, lower-case name", "From: news@shop.example\nprecedence: BULK\nSubject: Sale\n\n",
     false},
    {"an auto-reply folded over two lines",
     "From: away@example.com\nAuto-Submitted:\n  auto-replied\nSubject: Out of office\n\n", false},
    {"a bounce from a daemon", "From: MAILER-DAEMON@example.com\nSubject: failure\n\n", false},
    {"a person whose headers only look automatic",
     "From: second@example.net\nPrecedence: first-class\nAuto-Submitted: no\n"
     "Message-ID: <bad id\x01@example.net>\nSubject: Hello\n\n",
     true},
    {"the first person again", "From: stranger@example.net\nSubject: Another\n\n", true},
    {"a person with a raw 8-bit subject",
     "From: third@example.org\nSubject: caf\xe9 \x01 \"quoted\"\n\n", true},
};

class HeldCommandTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> Environment() {
        return {{"MOXEL_DATA_DIR", data.Path().string()}};
    }
    moxeltest::RunResult Moxel(const std::vector<std::string>& args,
                               const std::optional<std::string>& input = std::nullopt) {
        return moxeltest::RunToEnd(MOXEL_BINARY, args, Environment(), {}, 90s, input);
    }
    // Runs a command that must succeed; its output.
    std::string Ok(const std::vector<std::string>& args,
                   const std::optional<std::string>& input = std::nullopt) {
        const auto result = Moxel(args, input);
        EXPECT_EQ(result.exitCode, 0) << args[0] << " " << result.out << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    }
    // `moxel held --json`, checked by Python's JSON reader, as "id sender subject" lines.
    std::vector<std::string> HeldList() {
        const std::string json = Ok({"held", "--json"});
        // Non-ASCII characters are escaped, so that any reader takes the output.
        EXPECT_TRUE(std::all_of(json.begin(), json.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        })) << json;
        const auto parsed = moxeltest::RunToEnd(
            "/usr/bin/python3",
            {"-c",
             "import json,sys\n"
             "for l in json.load(sys.stdin): print(l['id'], l['sender'], l['subject'], "
             "l['account'].startswith('tester@example.test/'), l['size'] > 0)"},
            {}, {}, 30s, json);
        EXPECT_EQ(parsed.exitCode, 0) << json << parsed.err;
        std::vector<std::string> lines;
        std::istringstream in(parsed.out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    std::string IdOf(const std::string& sender) {
        for (const auto& line : HeldList()) {
            std::istringstream words(line);
            std::string id;
            std::string from;
            words >> id >> from;
            if (from == sender) {
                return id;
            }
        }
        ADD_FAILURE() << "no held letter from " << sender;
        return "0";
    }

    moxeltest::TempDir data;
};

TEST_F(HeldCommandTest, OnlyPeopleAreAskedAndHeldLettersAreReviewedThroughTheRunningCopy) {
    moxeltest::DovecotServer dovecot;
    for (const auto& letter : kCorpus) {
        dovecot.AddMessage("tester", letter.text);
    }
    dovecot.Start();
    moxeltest::TempDir sent;
    moxeltest::AiosmtpdServer smtp(sent.Path());
    ASSERT_NE(smtp.Port(), 0) << "python3-aiosmtpd is missing";
    moxeltest::UseFreePopPort(Environment());
    moxeltest::ChildProcess copy(MOXEL_BINARY, {"--headless"}, Environment());
    ASSERT_TRUE(copy.WaitForStderr("Moxel is running", 20s)) << copy.Stderr();

    Ok({"accounts", "add", "tester@example.test", "tester",
        "127.0.0.1:" + std::to_string(dovecot.Pop3Port())},
       "secret\n");
    Ok({"smtp", "set", "--server", "127.0.0.1:" + std::to_string(smtp.Port())});
    EXPECT_NE(Ok({"collect"}).find("8 letters downloaded, 0 to the inbox, 3 sent"),
              std::string::npos);

    // Exactly the people are asked, once each, and every letter says what it is.
    std::map<std::string, std::string> letters;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        letters.clear();
        for (const auto& entry : fs::directory_iterator(sent.Path())) {
            if (entry.path().extension() == ".envelope") {
                auto eml = entry.path();
                eml.replace_extension(".eml");
                std::string text = moxeltest::ReadWholeFile(eml);
                text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
                const auto to = text.find("\nTo: ");
                letters[text.substr(to + 5, text.find('\n', to + 1) - to - 5)] = text;
            }
        }
        if (letters.size() >= 3) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(letters.size(), 3u);
    std::set<std::string> messageIds;
    for (const auto& [to, text] : letters) {
        SCOPED_TRACE(to);
        const std::string headers = text.substr(0, text.find("\n\n"));
        EXPECT_NE(headers.find("\nAuto-Submitted: auto-replied\n"), std::string::npos) << headers;
        const auto id = headers.find("\nMessage-ID: <");
        ASSERT_NE(id, std::string::npos) << headers;
        const std::string value = headers.substr(id + 13, headers.find('\n', id + 1) - id - 13);
        EXPECT_NE(value.find("@example.test>"), std::string::npos) << value;
        messageIds.insert(value);
    }
    EXPECT_EQ(messageIds.size(), 3u) << "each letter has its own Message-ID";
    ASSERT_EQ(letters.count("stranger@example.net"), 1u);
    ASSERT_EQ(letters.count("second@example.net"), 1u);
    ASSERT_EQ(letters.count("third@example.org"), 1u);
    EXPECT_NE(letters["stranger@example.net"].find("\nIn-Reply-To: <m1.x@example.net>\n"
                                                   "Message-ID: "),
              std::string::npos);
    EXPECT_NE(letters["stranger@example.net"].find("\nReferences: <m1.x@example.net>\n"),
              std::string::npos);
    // A Message-ID with a control character and a blank is no id to answer.
    EXPECT_EQ(letters["second@example.net"].find("In-Reply-To"), std::string::npos);
    EXPECT_EQ(letters["second@example.net"].find("References"), std::string::npos);

    // Every letter is held, the automatic ones too; each decision not to ask is in the log.
    const auto held = HeldList();
    EXPECT_EQ(held.size(), kCorpus.size());
    for (const auto& line : held) {
        EXPECT_NE(line.find(" True True"), std::string::npos) << line;
    }
    EXPECT_NE(
        std::find(held.begin(), held.end(),
                  IdOf("stranger@example.net") + " stranger@example.net Café plans True True"),
        held.end());
    EXPECT_NE(
        std::find(held.begin(), held.end(),
                  IdOf("third@example.org") + " third@example.org café   \"quoted\" True True"),
        held.end());

    // Review: release one, approve a sender with two held letters, delete one.
    const std::string listId = IdOf("list@lists.example.org");
    EXPECT_EQ(Ok({"held", "release", listId}),
              "Released " + listId + " to the inbox of tester@example.test/tester/127.0.0.1:" +
                  std::to_string(dovecot.Pop3Port()) + "\n");
    EXPECT_EQ(Ok({"held", "approve", IdOf("stranger@example.net")}),
              "Approved stranger@example.net; 2 held letter(s) released to the inbox\n");
    const std::string bulkId = IdOf("news@shop.example");
    EXPECT_EQ(Ok({"held", "delete", bulkId}), "Deleted " + bulkId + "\n");
    EXPECT_EQ(HeldList().size(), kCorpus.size() - 4);
    // The three released letters and the day's digest of held mail.
    EXPECT_NE(Ok({"status"}).find("inbox 4, held 4"), std::string::npos);
    EXPECT_NE(Ok({"senders"}).find("stranger@example.net\n"), std::string::npos);
    const std::string listing = Ok({"held"});
    EXPECT_NE(listing.find("  third@example.org  \"café   \"quoted\"\"  "), std::string::npos)
        << listing;

    struct Refused {
        const char* label;
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Refused> refused = {
        {"an id no longer held", {"held", "delete", bulkId}, 1, "No held letter " + bulkId},
        {"a letter in the inbox", {"held", "release", listId}, 1, "No held letter " + listId},
        {"an id that is no number", {"held", "approve", "12a"}, 1, "not a letter id"},
        {"an unknown verb", {"held", "forward", "3"}, 2, "usage"},
        {"--json with a change", {"held", "delete", "3", "--json"}, 2, "usage"},
        {"a malformed key", {"held", "tester"}, 1, "not an account key"},
        {"an unknown account", {"held", "other@example.test/other/host"}, 1, "No account"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.label);
        const auto result = Moxel(row.args);
        EXPECT_EQ(result.exitCode, row.status);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    }
    EXPECT_EQ(HeldList().size(), kCorpus.size() - 4) << "refused commands changed nothing";

    copy.Signal(SIGTERM);
    EXPECT_EQ(copy.WaitFor(5s), std::optional<int>(0)) << copy.Stderr();
    std::string log;
    for (const auto& name : moxeltest::FileNames(data.Path() / "Logs")) {
        for (const auto& line : moxeltest::ReadLogLines(data.Path() / "Logs" / name)) {
            log += line + "\n";
        }
    }
    for (const char* expected :
         {"No verification message for list@lists.example.org (a List-Id header)",
          "No verification message for news@shop.example (Precedence: BULK)",
          "No verification message for away@example.com (Auto-Submitted: auto-replied)",
          "No verification message for mailer-daemon@example.com (the sender "}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
    }
}

}  // namespace
