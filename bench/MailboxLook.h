#pragma once

// A mail program's look at a POP3 mailbox over a raw socket, as the serving benchmarks time it:
// the login, then STAT and a listing (LIST or UIDL), then QUIT.
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/LoopbackSockets.h"

namespace bench {

// Reads up to and including the line `last` (CR LF ends; "+OK" stands for any positive
// answer); false when the server closed or said "-ERR".
inline bool ReadThrough(int socket, std::string& pending, const std::string& last) {
    for (;;) {
        for (auto end = pending.find("\r\n"); end != std::string::npos;
             end = pending.find("\r\n")) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (line.rfind("-ERR", 0) == 0) {
                return false;
            }
            if (line == last || (last == "+OK" && line.rfind("+OK", 0) == 0)) {
                return true;
            }
        }
        char buffer[65536];
        const auto received = ::recv(socket, buffer, sizeof(buffer), 0);
        if (received <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(received));
    }
}

// Seconds of one look; all -1 when it failed.
struct Look {
    double login = -1;
    double statAndListing = -1;
    double session = -1;  // from connecting to the answer to QUIT
};

// One look as `user` (password "secret"); `listing` is "LIST" or "UIDL".
inline Look LookAtMailbox(std::uint16_t port, const std::string& user, const std::string& listing) {
    using Stopwatch = std::chrono::steady_clock;
    const auto since = [](Stopwatch::time_point start) {
        return std::chrono::duration<double>(Stopwatch::now() - start).count();
    };
    Look look;
    const auto started = Stopwatch::now();
    moxeltest::Descriptor socket = moxeltest::ConnectToLoopback(port);
    const auto send = [&](const std::string& requests) {
        return ::send(socket.Get(), requests.data(), requests.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(requests.size());
    };
    std::string pending;
    bool good =
        ReadThrough(socket.Get(), pending, "+OK") && send("USER " + user + "\r\nPASS secret\r\n") &&
        ReadThrough(socket.Get(), pending, "+OK") && ReadThrough(socket.Get(), pending, "+OK");
    look.login = since(started);
    const auto listed = Stopwatch::now();
    good = good && send("STAT\r\n" + listing + "\r\n");
    for (const char* last : {"+OK", "+OK", "."}) {
        good = good && ReadThrough(socket.Get(), pending, last);
    }
    look.statAndListing = since(listed);
    good = good && send("QUIT\r\n") && ReadThrough(socket.Get(), pending, "+OK");
    look.session = since(started);
    return good ? look : Look{};
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The medians of `runs` looks; all -1 when one failed.
inline Look MedianLook(std::uint16_t port, const std::string& user, const std::string& listing,
                       int runs) {
    std::vector<double> logins;
    std::vector<double> listings;
    std::vector<double> sessions;
    for (int run = 0; run < runs; ++run) {
        const Look look = LookAtMailbox(port, user, listing);
        if (look.session < 0) {
            return {};
        }
        logins.push_back(look.login);
        listings.push_back(look.statAndListing);
        sessions.push_back(look.session);
    }
    return {Median(logins), Median(listings), Median(sessions)};
}

}  // namespace bench
