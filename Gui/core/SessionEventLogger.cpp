#include "core/SessionEventLogger.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>

#include "core/Format.h"

namespace {

constexpr const char* kLineBlanks = " \t\r\n";

bool IsLineBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

SessionEventLogger::SessionEventLogger(std::filesystem::path directory,
                                       std::shared_ptr<const Clock> timeSource)
    : EventLogger("Session", std::move(directory), std::move(timeSource)) {}

std::vector<ThreadId> SessionEventLogger::GetThreadFilter(const ThreadId&) {
    return threads.Copy();
}

void SessionEventLogger::UserConnected(const ThreadId& thread) {
    threads.Add(thread);
    Write(Format("[%1%]\t*** User connected", thread));
}

void SessionEventLogger::UserDisconnected(const ThreadId& thread) {
    Write(Format("[%1%]\t*** User disconnected", thread));
    threads.Remove(thread);
}

void SessionEventLogger::RequestReceived(const ThreadId& thread, const std::string& request) {
    Write(Format("[%1%]\t> %2%", thread, MaskRequest(request)));
}

void SessionEventLogger::ResponseSent(const ThreadId& thread, const std::string& response) {
    Write(Format("[%1%]\t< %2%", thread, response));
}

void SessionEventLogger::ResponseDataSent(const ThreadId& thread, const std::string& data) {
    Write(Format("[%1%]\t< ... %2% bytes (not displayed) ...", thread, data.size()));
}

std::string SessionEventLogger::MaskRequest(const std::string& request) {
    std::string line =
        boost::algorithm::trim_copy_if(request, boost::algorithm::is_any_of(kLineBlanks));
    // The server also takes a tab between PASS and the password, so a tab must not let the
    // password into the log either.
    if (line.size() > 5 && boost::algorithm::istarts_with(line, "PASS") && IsLineBlank(line[4])) {
        line = line.substr(0, 5) + "*********";
    }
    return line;
}
