#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/Format.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/QuoteText.h"
#include "database/ThreadDatabase.h"
#include "support/DatabaseFixture.h"

using namespace DatabaseLayer;

namespace {

using AppPropertiesTest = moxeltest::DatabaseTest;

int RowsNamed(const std::string& key) {
    return ExecuteScalar(
        Format("SELECT COUNT(*) FROM AppProperty WHERE name = '%1%';", QuoteText(key)));
}

// What a new run of the program would read: the settings loaded afresh, with an empty cache.
// References to the settings taken before are no longer valid.
AppPropertyCollection& Restarted() {
    LoadAppProperties();
    return GetAppProperties();
}

TEST_F(AppPropertiesTest, ANewDatabaseReadsEveryDefault) {
    auto& settings = GetAppProperties();
    EXPECT_EQ(settings.GetId(), 1);
    EXPECT_EQ(settings.GetPopPort(), 110);
    EXPECT_EQ(settings.GetWorkInterval(), 300);
    EXPECT_EQ(settings.GetVerificationRequestSubject(), "Re: %1% [%2%]");
    EXPECT_EQ(settings.GetVerificationRequestBody(),
              AppPropertyCollection::GetDefaultVerificationRequestBody());
    EXPECT_EQ(settings.GetDisabledToolTips(), 0);
    EXPECT_TRUE(settings.IsToolTipEnabled(AppPropertyCollection::kIncompleteSettingsToolTip));
    EXPECT_TRUE(settings.IsToolTipEnabled(AppPropertyCollection::kNoInternetConnectionToolTip));
    EXPECT_FALSE(settings.GetLeaveCopies());
    EXPECT_TRUE(settings.GetLiveUpdate());
    EXPECT_EQ(settings.GetPopPostOfficeRowId(), 0);
    EXPECT_EQ(settings.GetValue("NoSuchKey"), "");
    // Reading defaults stores nothing.
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM AppProperty;"), 0);
}

TEST_F(AppPropertiesTest, TheDefaultVerificationRequestBodyLineForLine) {
    const std::vector<std::string> expected = {
        "***** THIS IS AN AUTOMATED RESPONSE ***** ",
        "",
        "Hello,",
        "",
        "You recently sent a message to %2% from %1%.",
        "",
        "YOU NEED TO VERIFY YOUR EMAIL ADDRESS BEFORE YOUR MESSAGE CAN BE RECEIVED",
        "",
        "Because of amount of spam I'm receiving every day I'm now using a system",
        "that blocks junk mail.",
        "",
        "The system let's me only see messages sent from email addresses that are in",
        "my whitelist.",
        "",
        "Unfortunately, your email address in not in the whitelist yet. In order",
        "to add it there, PLEASE REPLY TO THIS MESSAGE.",
        "",
        "In your email program:",
        "1. Click \"Reply\"",
        "2. Click \"Send\".",
        "",
        "After you do this, both your original message and new messages will be",
        "delivered to my inbox. There's no need to send your original message again.",
        "",
        "Note: Please keep the verification code in the subject intact.",
        "",
        "",
        "Ostrand Moxel",
        "https://www.ostrand.com/moxel/",
        "",
        "***** THIS IS AN AUTOMATED RESPONSE *****",
    };
    const std::string body = GetAppProperties().GetVerificationRequestBody();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = body.find('\n'); end != std::string::npos; end = body.find('\n', start)) {
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    lines.push_back(body.substr(start));
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(body.find('\r'), std::string::npos);
    // It is a format text for the sender and the protected address.
    EXPECT_NE(Format(body, "you@example.org", "me@example.com")
                  .find("You recently sent a message to me@example.com from you@example.org."),
              std::string::npos);
}

TEST_F(AppPropertiesTest, StoredValuesOverrideDefaultsAndOnlyAnEmptyTextSelectsTheDefault) {
    auto& settings = GetAppProperties();
    settings.SetValue("PopPort", "0");
    settings.SetValue("WorkInterval", "45 seconds");
    settings.SetValue("VerificationRequestSubject", "Please confirm: %1% (%2%)");
    settings.SetValue("VerificationRequestBody", "Short body %1% %2%");
    EXPECT_EQ(settings.GetPopPort(), 0);
    EXPECT_EQ(settings.GetWorkInterval(), 45);
    EXPECT_EQ(settings.GetVerificationRequestSubject(), "Please confirm: %1% (%2%)");
    EXPECT_EQ(settings.GetVerificationRequestBody(), "Short body %1% %2%");

    settings.SetValue("PopPort", "");
    EXPECT_EQ(settings.GetPopPort(), 110);
    EXPECT_EQ(Restarted().GetPopPort(), 110);
    EXPECT_EQ(Restarted().GetWorkInterval(), 45);
}

TEST_F(AppPropertiesTest, BooleansAreTrueOnlyForTheExactLowerCaseText) {
    const struct {
        const char* stored;
        bool leaveCopies;
        bool liveUpdate;
    } cases[] = {
        {"true", true, true},    {"TRUE", false, false}, {"True", false, false},
        {"false", false, false}, {"1", false, false},    {" true", false, false},
        {"", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        auto& settings = GetAppProperties();
        settings.SetValue("LeaveCopies", c.stored);
        settings.SetValue("LiveUpdate", c.stored);
        EXPECT_EQ(settings.GetLeaveCopies(), c.leaveCopies);
        EXPECT_EQ(settings.GetLiveUpdate(), c.liveUpdate);
        EXPECT_EQ(Restarted().GetLiveUpdate(), c.liveUpdate);
    }

    GetAppProperties().SetLeaveCopies(true);
    EXPECT_EQ(Restarted().GetValue("LeaveCopies"), "true");
    GetAppProperties().SetLeaveCopies(false);
    EXPECT_EQ(Restarted().GetValue("LeaveCopies"), "false");
    EXPECT_FALSE(GetAppProperties().GetLeaveCopies());
}

TEST_F(AppPropertiesTest, ToolTipBitsAreSwitchedOneAtATime) {
    auto& settings = GetAppProperties();
    constexpr auto kSettingsTip = AppPropertyCollection::kIncompleteSettingsToolTip;
    constexpr auto kOnlineTip = AppPropertyCollection::kNoInternetConnectionToolTip;

    settings.SetToolTipEnabled(kSettingsTip, false);
    EXPECT_EQ(settings.GetValue("DisabledToolTips"), "1");
    EXPECT_FALSE(settings.IsToolTipEnabled(kSettingsTip));
    EXPECT_TRUE(settings.IsToolTipEnabled(kOnlineTip));

    settings.SetToolTipEnabled(kOnlineTip, false);
    EXPECT_EQ(settings.GetValue("DisabledToolTips"), "3");
    settings.SetToolTipEnabled(kOnlineTip, false);  // already disabled: unchanged
    EXPECT_EQ(settings.GetValue("DisabledToolTips"), "3");
    settings.SetToolTipEnabled(kOnlineTip, true);
    EXPECT_EQ(settings.GetValue("DisabledToolTips"), "1") << "the other bit is untouched";
    EXPECT_TRUE(settings.IsToolTipEnabled(kOnlineTip));
    EXPECT_FALSE(settings.IsToolTipEnabled(kSettingsTip));

    // Bits the program does not know survive a change of another bit.
    settings.SetValue("DisabledToolTips", "-9223372036854775807");  // the top bit and bit 1
    settings.SetToolTipEnabled(kSettingsTip, true);
    EXPECT_EQ(settings.GetDisabledToolTips(), std::numeric_limits<std::int64_t>::min());
    // A combined mask counts as disabled only when all of its bits are.
    settings.SetValue("DisabledToolTips", "2");
    EXPECT_TRUE(settings.IsToolTipEnabled(kSettingsTip | kOnlineTip));
    settings.SetValue("DisabledToolTips", "3");
    EXPECT_FALSE(settings.IsToolTipEnabled(kSettingsTip | kOnlineTip));
}

TEST_F(AppPropertiesTest, SettingAKeyTwiceKeepsOneRowWithTheSecondValue) {
    auto& settings = GetAppProperties();
    settings.SetValue("WorkInterval", "60");
    settings.SetValue("WorkInterval", "120");
    EXPECT_EQ(RowsNamed("WorkInterval"), 1);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM AppProperty;"), 1);
    EXPECT_EQ(ExecuteScalar("SELECT collectionId FROM AppProperty;"), 1);
    EXPECT_EQ(Restarted().GetWorkInterval(), 120);
}

TEST_F(AppPropertiesTest, PostOfficeRowIdKeepsAllSixtyFourBits) {
    GetAppProperties().SetPopPostOfficeRowId(6000000000LL);
    EXPECT_EQ(GetAppProperties().GetPopPostOfficeRowId(), 6000000000LL);
    EXPECT_EQ(Restarted().GetValue("PopPostOfficeRowId"), "6000000000");
    EXPECT_EQ(GetAppProperties().GetPopPostOfficeRowId(), 6000000000LL);
}

TEST_F(AppPropertiesTest, KeysAndValuesWithAwkwardTextsRoundTrip) {
    const std::vector<std::string> texts = {
        "O'Neil",
        "''",
        "100% sure %1% %s %d %%",
        "back\\slash \\' \\n",
        "Grüße, 日本語, emoji 😀",
        "line one\nline two",
        std::string(50000, 'k') + "'",
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        GetAppProperties().SetValue(text, text + " value");
        EXPECT_EQ(GetAppProperties().GetValue(text), text + " value");
        EXPECT_EQ(Restarted().GetValue(text), text + " value") << "as stored in the database";
        EXPECT_EQ(RowsNamed(text), 1);
    }
}

TEST_F(AppPropertiesTest, OnlyValuesFoundOrWrittenAreCached) {
    auto& settings = GetAppProperties();
    EXPECT_EQ(settings.GetValue("Later"), "");
    // A key without a row is looked up again, so a row stored meanwhile is seen.
    ExecuteStatement(
        "INSERT INTO AppProperty (collectionId, name, value) VALUES (1, 'Later', 'x');");
    EXPECT_EQ(settings.GetValue("Later"), "x");
    // A value once known is kept for the rest of the run.
    ExecuteStatement("UPDATE AppProperty SET value = 'y' WHERE name = 'Later';");
    EXPECT_EQ(settings.GetValue("Later"), "x");
    EXPECT_EQ(Restarted().GetValue("Later"), "y");
}

TEST_F(AppPropertiesTest, SettingsOfOtherCollectionsAreNotSeen) {
    ExecuteStatement(
        "INSERT INTO AppProperty (collectionId, name, value) VALUES (7, 'PopPort', '995');");
    EXPECT_EQ(GetAppProperties().GetPopPort(), 110);
}

TEST_F(AppPropertiesTest, TheSettingsCollectionIsFoundAgainAfterARestart) {
    GetAppProperties().SetValue("PopPort", "1110");
    EXPECT_EQ(Restarted().GetId(), 1);
    EXPECT_EQ(ExecuteScalar("SELECT COUNT(*) FROM AppPropertyCollection;"), 1);
    EXPECT_EQ(GetAppProperties().GetPopPort(), 1110);
}

TEST_F(AppPropertiesTest, AMissingCollectionRowIsReplacedByANewOne) {
    ExecuteStatement("DELETE FROM AppPropertyCollection;");
    ExecuteStatement("INSERT INTO AppPropertyCollection (id) VALUES (5);");
    auto& settings = Restarted();
    EXPECT_NE(settings.GetId(), 1);
    EXPECT_TRUE(settings.IsPersistent());
    EXPECT_EQ(ExecuteScalar(Format("SELECT COUNT(*) FROM AppPropertyCollection WHERE id = %1%;",
                                   settings.GetId())),
              1);
    settings.SetValue("WorkInterval", "10");
    EXPECT_EQ(settings.GetWorkInterval(), 10);
}

TEST_F(AppPropertiesTest, ThreadsReadAndWriteTheSharedSettingsAtOnce) {
    constexpr int kWriters = 3;
    constexpr int kRounds = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([w, &failures] {
            ThreadDataScope database;
            const std::string key = "Writer" + std::to_string(w);
            for (int round = 0; round < kRounds; ++round) {
                GetAppProperties().SetValue(key, std::to_string(round));
                if (GetAppProperties().GetValue(key) != std::to_string(round)) {
                    ++failures;
                }
                GetAppProperties().GetWorkInterval();
            }
        });
    }
    threads.emplace_back([&failures] {
        ThreadDataScope database;
        for (int round = 0; round < kRounds * 2; ++round) {
            if (GetAppProperties().GetPopPort() != 110) {
                ++failures;
            }
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    auto& restarted = Restarted();
    for (int w = 0; w < kWriters; ++w) {
        const std::string key = "Writer" + std::to_string(w);
        EXPECT_EQ(restarted.GetValue(key), std::to_string(kRounds - 1));
        EXPECT_EQ(RowsNamed(key), 1);
    }
}

}  // namespace
