#pragma once

#include <memory>

class ThreadSocketServer;
class ThreadSocketServerSession;

// Makes the sessions of a server's slots; called on the server thread.
class ThreadSocketServerSessionFactory {
public:
    virtual ~ThreadSocketServerSessionFactory() = default;
    virtual std::unique_ptr<ThreadSocketServerSession> CreateSession(
        ThreadSocketServer& server) = 0;
};
