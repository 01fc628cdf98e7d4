#include "popserver/LocalPopServer.h"

#include "core/Exception.h"
#include "core/Format.h"
#include "popserver/PopServerSessionFactory.h"
#include "popserver/ThreadSocketServer.h"

LocalPopServer::LocalPopServer(PopPostOffice& postOfficeIn,
                               std::shared_ptr<EventReporter> reporterIn, Log logIn,
                               LocalPopServerLimits limitsIn)
    : postOffice(postOfficeIn),
      reporter(std::move(reporterIn)),
      log(std::move(logIn)),
      limits(limitsIn) {}

LocalPopServer::~LocalPopServer() {
    Stop();
}

void LocalPopServer::Start(std::uint32_t port) {
    // Loopback only: the mail program runs on this machine, and nobody else may reach the
    // inboxes.
    server = std::make_unique<ThreadSocketServer>(
        "127.0.0.1", port, kMaximumSessions, kRefusalTimeoutSeconds,
        std::make_unique<PopServerSessionFactory>(postOffice, reporter, log, limits.idle));
    server->SetSessionStopLimit(limits.sessionStop);
    finished = false;
    thread = std::thread([this, port] {
        try {
            server->Run();
        } catch (const Exception& failure) {
            if (log) {
                // One log line: the library's reason alone, without the wrapping text.
                const Exception* reason = failure.GetCause();
                log(Format("Local POP3 server: cannot listen on 127.0.0.1 port %1%: %2%", port,
                           reason != nullptr ? reason->what() : failure.what()));
            }
        }
        finished = true;
    });
}

std::uint32_t LocalPopServer::WaitUntilListening(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (server && !finished.load() && server->GetListeningPort() == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return server && !finished.load() ? server->GetListeningPort() : 0;
}

void LocalPopServer::Stop() {
    if (!server) {
        return;
    }
    server->RequestStop();
    if (thread.joinable()) {
        thread.join();
    }
    server.reset();
}
