#pragma once

#include <chrono>
#include <memory>

#include "popserver/PopServerSession.h"
#include "popserver/ThreadSocketServerSessionFactory.h"

// Makes the POP3 sessions of the local server, all over one post office and event reporter.
class PopServerSessionFactory : public ThreadSocketServerSessionFactory {
public:
    PopServerSessionFactory(PopPostOffice& postOfficeIn, std::shared_ptr<EventReporter> reporterIn,
                            PopServerSession::RefusalLog refusalLogIn,
                            std::chrono::milliseconds idleLimitIn = PopServerSession::kIdleLimit)
        : postOffice(postOfficeIn),
          reporter(std::move(reporterIn)),
          refusalLog(std::move(refusalLogIn)),
          idleLimit(idleLimitIn) {}

    std::unique_ptr<ThreadSocketServerSession> CreateSession(ThreadSocketServer& server) override {
        return std::make_unique<PopServerSession>(server, postOffice, reporter, refusalLog,
                                                  idleLimit);
    }

private:
    PopPostOffice& postOffice;
    std::shared_ptr<EventReporter> reporter;
    PopServerSession::RefusalLog refusalLog;
    std::chrono::milliseconds idleLimit;
};
