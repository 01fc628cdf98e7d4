#pragma once

#include "core/EventLogger.h"
#include "core/ThreadIdList.h"

// The conversation log of the local POP3 server (files "Session_..."): every line exchanged
// with a mail program, tagged with its session thread's id; passwords are masked. While sessions
// are connected it takes only their threads' events. Events may arrive on any thread.
class SessionEventLogger : public EventLogger {
public:
    // Throws Exception when the log folder cannot be created.
    SessionEventLogger(std::filesystem::path directory, std::shared_ptr<const Clock> timeSource);

    std::vector<ThreadId> GetThreadFilter(const ThreadId& thread) override;

    void UserConnected(const ThreadId& thread) override;
    void UserDisconnected(const ThreadId& thread) override;
    void RequestReceived(const ThreadId& thread, const std::string& request) override;
    void ResponseSent(const ThreadId& thread, const std::string& response) override;
    void ResponseDataSent(const ThreadId& thread, const std::string& data) override;

    // The request line as it is logged: trimmed of blanks, CR and LF at both ends, and the
    // argument of a PASS command replaced by asterisks.
    static std::string MaskRequest(const std::string& request);

private:
    ThreadIdList threads;
};
