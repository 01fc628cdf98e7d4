#include "core/EventLogger.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdio>
#include <system_error>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/PrivateFiles.h"
#include "database/TextNumbers.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDaysKept = 7;
constexpr const char* kInvalidLogFileName =
    "Invalid arguments to EventLogger::GetDateFromLogFilePath";

std::string TimeOfDay(const boost::posix_time::ptime& now) {
    const auto time = now.time_of_day();
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(time.hours()),
                  static_cast<int>(time.minutes()), static_cast<int>(time.seconds()));
    return text;
}

// The text from `position` up to the next `separator`, moving `position` past the separator.
// Throws when there is no separator.
std::string ReadUpTo(const std::string& text, std::size_t& position, char separator) {
    const auto end = text.find(separator, position);
    if (end == std::string::npos) {
        throw Exception(kInvalidLogFileName);
    }
    std::string piece = text.substr(position, end - position);
    position = end + 1;
    return piece;
}

}  // namespace

EventLogger::EventLogger(std::string nameIn, fs::path logDirectoryIn,
                         std::shared_ptr<const Clock> clockIn)
    : name(std::move(nameIn)),
      logDirectory(std::move(logDirectoryIn)),
      clock(std::move(clockIn)),
      currentDay(boost::gregorian::not_a_date_time) {
    std::error_code error;
    CreatePrivateDirectories(logDirectory, error);
    if (!error && !fs::is_directory(logDirectory, error) && !error) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        throw Exception(Format("Cannot create the log folder %1%: %2%", logDirectory.string(),
                               error.message()));
    }
}

EventLogger::~EventLogger() = default;

void EventLogger::Write(const std::string& text) {
    try {
        std::lock_guard guard(lock);
        // One reading of the clock, so that a line written at midnight goes into the file of
        // the day its time stamp belongs to.
        const auto now = clock->Now();
        RollOver(now.date());
        output << TimeOfDay(now) << '\t' << text << "\r\n" << std::flush;
    } catch (const std::exception&) {
        // Logging must never break the work that reports the event; the line is lost.
    }
}

void EventLogger::RollOver(const boost::gregorian::date& today) {
    if (today == currentDay) {
        return;
    }
    output.close();
    output.clear();
    const fs::path file = logDirectory / GetLogFileName(name, today);
    // A stream would create the file readable by all; when this fails, so does the open below.
    CreatePrivateFile(file);
    output.open(file, std::ios::out | std::ios::app | std::ios::binary);
    currentDay = today;
    RemoveOldLogs(today);
}

void EventLogger::RemoveOldLogs(const boost::gregorian::date& today) const {
    std::vector<fs::path> candidates;
    std::error_code error;
    for (fs::directory_iterator entry(logDirectory, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string fileName = entry->path().filename().string();
        if (fileName.size() > name.size() && fileName.compare(0, name.size(), name) == 0) {
            candidates.push_back(entry->path());
        }
    }
    for (const auto& path : candidates) {
        try {
            const auto age = (today - GetDateFromLogFilePath(name, path)).days();
            std::error_code entryError;
            if (age >= kDaysKept && !fs::is_directory(path, entryError) && !entryError) {
                fs::remove(path, entryError);
            }
        } catch (const Exception&) {
            // Not one of our logs after all; leave it alone.
        }
    }
}

std::string EventLogger::GetLogFileName(const std::string& name,
                                        const boost::gregorian::date& day) {
    const int month = day.month().as_number();
    return Format("%1%_%2%_%3%%4%_%5%.txt", name, static_cast<int>(day.year()),
                  month < 10 ? "0" : "", month, static_cast<int>(day.day()));
}

boost::gregorian::date EventLogger::GetDateFromLogFilePath(const std::string& name,
                                                           const fs::path& path) {
    const std::string fileName = path.filename().string();
    if (fileName.size() <= name.size()) {
        throw Exception(kInvalidLogFileName);
    }
    // Past the name and the one separator that follows it.
    std::size_t position = name.size() + 1;
    const int year = DatabaseLayer::ParseInt32(ReadUpTo(fileName, position, '_'));
    const int month = DatabaseLayer::ParseInt32(ReadUpTo(fileName, position, '_'));
    const int day = DatabaseLayer::ParseInt32(ReadUpTo(fileName, position, '.'));
    if (year < 1400 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > boost::gregorian::gregorian_calendar::end_of_month_day(year, month)) {
        throw Exception(kInvalidLogFileName);
    }
    return boost::gregorian::date(year, month, day);
}
