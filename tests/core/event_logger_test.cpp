#include <gtest/gtest.h>

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <fstream>
#include <map>
#include <system_error>
#include <thread>

#include "core/EventLogger.h"
#include "core/Exception.h"
#include "support/FixedClock.h"
#include "support/LogFiles.h"
#include "support/TestDataDir.h"

namespace fs = std::filesystem;
using boost::gregorian::date;
using boost::gregorian::days;
using boost::posix_time::ptime;
using boost::posix_time::time_from_string;
using moxeltest::FileNames;
using moxeltest::ReadLogLines;

namespace {

void Touch(const fs::path& file) {
    std::ofstream(file) << "old\r\n";
}

class EventLoggerTest : public ::testing::Test {
protected:
    std::shared_ptr<moxeltest::FixedClock> clock =
        std::make_shared<moxeltest::FixedClock>(time_from_string("2005-03-07 09:05:03"));
    moxeltest::TempDir folder;
    fs::path logs = folder.Path() / "Logs";
};

TEST_F(EventLoggerTest, FirstLineOfTheDayCreatesTheDailyFileAndLaterLinesAppend) {
    {
        EventLogger logger("Moxel", logs, clock);
        EXPECT_TRUE(fs::is_directory(logs));
        EXPECT_TRUE(FileNames(logs).empty()) << "the file is opened at the first line";
        logger.Write("first");
        clock->Set(time_from_string("2005-03-07 17:45:00"));
        logger.Write("second");
    }
    // A restart on the same day continues the same file.
    EventLogger restarted("Moxel", logs, clock);
    restarted.Write("after restart");

    EXPECT_EQ(FileNames(logs), std::vector<std::string>{"Moxel_2005_03_7.txt"});
    EXPECT_EQ(ReadLogLines(logs / "Moxel_2005_03_7.txt"),
              (std::vector<std::string>{"09:05:03\tfirst", "17:45:00\tsecond",
                                        "17:45:00\tafter restart"}));
}

TEST_F(EventLoggerTest, FileNamesHaveATwoDigitMonthAndAPlainDay) {
    const struct {
        const char* name;
        date day;
        const char* expected;
    } cases[] = {
        {"Moxel", date(2005, 3, 7), "Moxel_2005_03_7.txt"},
        {"Session", date(2005, 11, 23), "Session_2005_11_23.txt"},
        {"Moxel", date(2024, 12, 1), "Moxel_2024_12_1.txt"},
        {"Session", date(1999, 1, 31), "Session_1999_01_31.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(EventLogger::GetLogFileName(c.name, c.day), c.expected);
        EXPECT_EQ(EventLogger::GetDateFromLogFilePath(c.name, logs / c.expected), c.day);
    }
}

TEST_F(EventLoggerTest, PassingMidnightContinuesInTheNewDaysFile) {
    EventLogger logger("Session", logs, clock);
    clock->Set(time_from_string("2005-12-31 23:59:59"));
    logger.Write("last of the year");
    clock->Set(time_from_string("2006-01-01 00:00:00"));
    logger.Write("first of the year");
    logger.Write("second of the year");

    EXPECT_EQ(FileNames(logs),
              (std::vector<std::string>{"Session_2005_12_31.txt", "Session_2006_01_1.txt"}));
    EXPECT_EQ(ReadLogLines(logs / "Session_2005_12_31.txt"),
              std::vector<std::string>{"23:59:59\tlast of the year"});
    EXPECT_EQ(
        ReadLogLines(logs / "Session_2006_01_1.txt"),
        (std::vector<std::string>{"00:00:00\tfirst of the year", "00:00:00\tsecond of the year"}));
}

TEST_F(EventLoggerTest, OpeningADaysFileRemovesOnlyOwnLogsAWeekOldOrOlder) {
    fs::create_directories(logs);
    const date today(2005, 3, 7);
    auto ownLog = [&](int daysAgo) {
        return EventLogger::GetLogFileName("Moxel", today - days(daysAgo));
    };
    const std::vector<std::string> kept = {
        ownLog(0),
        ownLog(6),
        ownLog(-3),  // a date in the future
        "Moxel_notes.txt",
        "Moxel_2005_13_1.txt",
        "Moxel_2005_02_30.txt",
        "Moxel.txt",
        EventLogger::GetLogFileName("Session", today - days(30)),
        "Other_2004_01_1.txt",
    };
    const std::vector<std::string> removed = {ownLog(7), ownLog(30), ownLog(400)};
    for (const auto& name : kept) {
        Touch(logs / name);
    }
    for (const auto& name : removed) {
        Touch(logs / name);
    }
    // A folder with a log's name is never deleted.
    const std::string folderWithLogName = EventLogger::GetLogFileName("Moxel", today - days(8));
    fs::create_directory(logs / folderWithLogName);

    // Files are pruned when a day's file is opened, that is, at the first line.
    EventLogger logger("Moxel", logs, clock);
    EXPECT_EQ(FileNames(logs).size(), kept.size() + removed.size() + 1);
    logger.Write("prune now");

    std::vector<std::string> expected = kept;
    expected.push_back(folderWithLogName);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FileNames(logs), expected);

    // The next day's first line prunes again: the 6-day-old file is now 7 days old.
    clock->Set(time_from_string("2005-03-08 00:00:01"));
    logger.Write("next day");
    EXPECT_FALSE(fs::exists(logs / ownLog(6)));
    EXPECT_TRUE(fs::exists(logs / ownLog(0)));
}

TEST_F(EventLoggerTest, DatesAreReadFromLogFileNamesOrRefused) {
    const struct {
        const char* name;
        const char* file;
        date expected;
    } valid[] = {
        {"Moxel", "Moxel_2005_03_7.txt", date(2005, 3, 7)},
        {"Moxel", "/some/folder/Moxel_2005_3_07.txt", date(2005, 3, 7)},
        {"Session", "Session_2004_02_29.log", date(2004, 2, 29)},
        {"Moxel", "Moxel_1400_01_1.txt", date(1400, 1, 1)},
        {"Moxel", "Moxel_2005_03_7.old.txt", date(2005, 3, 7)},
    };
    for (const auto& c : valid) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(EventLogger::GetDateFromLogFilePath(c.name, c.file), c.expected);
    }

    const struct {
        const char* name;
        const char* file;
    } invalid[] = {
        {"Moxel", "Moxel"},
        {"Moxel", "Moxel_"},
        {"Moxel", "Moxel_notes.txt"},
        {"Moxel", "Moxel_2005_13_1.txt"},
        {"Moxel", "Moxel_2005_02_29.txt"},
        {"Moxel", "Moxel_2005_00_1.txt"},
        {"Moxel", "Moxel_2005_01_0.txt"},
        {"Moxel", "Moxel_1399_12_31.txt"},
        {"Moxel", "Moxel_2005_01_1"},
        {"Moxel", "Moxel_2005_011.txt"},
        {"Moxel", "Moxel_x_y_z.txt"},
        {"Session", "Moxel_2005_03_7.txt"},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.file);
        try {
            EventLogger::GetDateFromLogFilePath(c.name, c.file);
            ADD_FAILURE() << "accepted";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "Invalid arguments to EventLogger::GetDateFromLogFilePath");
        }
    }
}

TEST_F(EventLoggerTest, MissingParentFoldersAreCreated) {
    const fs::path deep = folder.Path() / "a" / "b" / "Logs";
    EventLogger logger("Moxel", deep, clock);
    logger.Write("deep");
    EXPECT_EQ(ReadLogLines(deep / "Moxel_2005_03_7.txt"),
              std::vector<std::string>{"09:05:03\tdeep"});
}

TEST_F(EventLoggerTest, AFolderThatCannotBeCreatedFailsConstructionWithTheSystemsReason) {
    const fs::path blocker = folder.Path() / "blocker";
    Touch(blocker);
    for (const fs::path& wanted : {blocker, blocker / "Logs"}) {
        SCOPED_TRACE(wanted.string());
        std::error_code reason;
        fs::create_directories(wanted, reason);
        if (!reason) {
            reason = std::make_error_code(std::errc::not_a_directory);
        }
        try {
            EventLogger logger("Moxel", wanted, clock);
            ADD_FAILURE() << "constructed over a file";
        } catch (const Exception& error) {
            const std::string text = error.GetDescription();
            EXPECT_NE(text.find(reason.message()), std::string::npos) << text;
            EXPECT_NE(text.find(wanted.string()), std::string::npos) << text;
        }
    }
}

TEST_F(EventLoggerTest, AFileThatCannotBeOpenedLosesItsLinesUntilTheNextDay) {
    fs::create_directories(logs / "Moxel_2005_03_7.txt");  // a folder where the file should be
    EventLogger logger("Moxel", logs, clock);
    EXPECT_NO_THROW(logger.Write("lost"));
    EXPECT_NO_THROW(logger.Write("lost too"));
    clock->Set(time_from_string("2005-03-08 00:00:00"));
    logger.Write("kept");
    EXPECT_EQ(ReadLogLines(logs / "Moxel_2005_03_8.txt"),
              std::vector<std::string>{"00:00:00\tkept"});
    EXPECT_TRUE(fs::is_empty(logs / "Moxel_2005_03_7.txt"));
}

TEST_F(EventLoggerTest, ConcurrentWritersNeverInterleaveWithinALine) {
    EventLogger logger("Session", logs, clock);
    constexpr int kLinesEach = 2000;
    const std::string payloads[] = {std::string(300, 'a'), std::string(300, 'b'),
                                    std::string(300, 'c')};
    std::vector<std::thread> writers;
    for (const auto& payload : payloads) {
        writers.emplace_back([&logger, &payload] {
            for (int i = 0; i < kLinesEach; ++i) {
                logger.Write(payload + " " + std::to_string(i));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }

    std::map<char, int> nextNumber;
    for (const auto& line : ReadLogLines(logs / "Session_2005_03_7.txt")) {
        ASSERT_GT(line.size(), 9u + 301u) << line;
        const std::string message = line.substr(9);
        const char letter = message[0];
        ASSERT_EQ(message.substr(0, 301), std::string(300, letter) + " ") << line;
        // Each writer's lines arrive whole and in its own order.
        EXPECT_EQ(message.substr(301), std::to_string(nextNumber[letter]++));
    }
    EXPECT_EQ(nextNumber,
              (std::map<char, int>{{'a', kLinesEach}, {'b', kLinesEach}, {'c', kLinesEach}}));
}

}  // namespace
