#pragma once

#include <thread>

// While one lives, a stop of the program (the TimeCard punched out) ends every popwire wait of
// the thread that made it: the connection and TLS handshake, which no handle names yet, the
// greeting, every answer and QUIT's. Scopes on one thread nest and share one check. Made and
// destroyed on the same thread (a destruction elsewhere
// changes nothing); not shared.
class PopwireStopScope {
public:
    PopwireStopScope();
    ~PopwireStopScope();
    PopwireStopScope(const PopwireStopScope&) = delete;
    PopwireStopScope& operator=(const PopwireStopScope&) = delete;

private:
    const std::thread::id owner;
};
