#pragma once

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "core/Clock.h"
#include "core/MoxelCoreEventHandler.h"

// An event handler that writes lines into daily log files "<name>_<year>_<MM>_<day>.txt" in one
// folder, each line "HH:MM:SS<tab>text" ended by CR LF and flushed at once. A file is opened
// (for appending) at the first line of its day; opening it also removes this logger's files of
// 7 or more days ago. Write may be called from any thread: lines never interleave.
class EventLogger : public MoxelCoreEventHandler {
public:
    // Creates `logDirectory` with its missing parents. Throws Exception carrying the file
    // system's reason when the folder cannot be created.
    EventLogger(std::string name, std::filesystem::path logDirectory,
                std::shared_ptr<const Clock> clock);
    ~EventLogger() override;

    // Appends one line stamped with the clock's time of day. Never throws: a line that cannot
    // be written is lost, and a file that failed to open is tried again the next day.
    virtual void Write(const std::string& text);

    // The file name of `name`'s log of `day`, e.g. "Moxel_2005_03_7.txt".
    static std::string GetLogFileName(const std::string& name, const boost::gregorian::date& day);

    // The date in the file name of `path`, a log of the logger called `name`. Throws Exception
    // "Invalid arguments to EventLogger::GetDateFromLogFilePath" when the name is too short, a
    // separator is missing or the date is not a valid one.
    static boost::gregorian::date GetDateFromLogFilePath(const std::string& name,
                                                         const std::filesystem::path& path);

    const std::string& GetName() const { return name; }
    const std::filesystem::path& GetLogDirectory() const { return logDirectory; }

private:
    // Opens the file of `today` unless it is already open. Caller holds `lock`.
    void RollOver(const boost::gregorian::date& today);
    void RemoveOldLogs(const boost::gregorian::date& today) const;

    const std::string name;
    const std::filesystem::path logDirectory;
    const std::shared_ptr<const Clock> clock;
    // Guarded by `lock`: the open file and the day it belongs to (not-a-date before the first).
    std::ofstream output;
    boost::gregorian::date currentDay;
    std::recursive_mutex lock;
};
