// wsock_select: readiness of up to 64 sockets per set, with Winsock's meaning of each set.
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/winsock/BlockingWait.h"
#include "platform/winsock/ErrorMapping.h"
#include "platform/winsock/LayerState.h"
#include "platform/winsock/SocketTable.h"
#include "platform/winsock/WinsockApi.h"

using namespace winsock;

namespace {

// One socket named in any of the sets, with what was asked and what was found.
struct Candidate {
    std::shared_ptr<SocketEntry> entry;
    bool read = false;
    bool write = false;
    bool except = false;
    bool readable = false;
    bool writable = false;
    bool exceptional = false;
};

bool Gather(const FdSet* set, bool Candidate::*asked, std::vector<Candidate>& candidates) {
    if (!set) {
        return true;
    }
    if (set->count > static_cast<std::uint32_t>(kFdSetSize)) {
        return Fail(WSAEINVAL, false);
    }
    for (std::uint32_t i = 0; i < set->count; ++i) {
        const Socket s = set->sockets[i];
        Candidate* candidate = nullptr;
        for (auto& known : candidates) {
            if (known.entry->id == s) {
                candidate = &known;
            }
        }
        if (!candidate) {
            auto entry = SocketTable::Instance().Find(s);
            if (!entry) {
                return Fail(WSAENOTSOCK, false);
            }
            candidates.push_back({std::move(entry)});
            candidate = &candidates.back();
        }
        candidate->*asked = true;
    }
    return true;
}

// What to poll for a candidate; fd -1 when none of its conditions can come true by waiting.
pollfd PollRequest(const Candidate& candidate) {
    SocketEntry& entry = *candidate.entry;
    std::lock_guard lock(entry.mutex);
    const bool stream = entry.type == WS_SOCK_STREAM;
    const bool open = !stream || entry.connected;
    short events = 0;
    if (candidate.read && (entry.listening || open)) {
        events |= POLLIN;
    }
    if (candidate.write && open && !entry.listening) {
        events |= POLLOUT;
    }
    if ((candidate.write || candidate.except) && entry.connectPending) {
        events |= POLLOUT;
    }
    if (candidate.except && open) {
        events |= POLLPRI;
    }
    return {events ? entry.fd : -1, events, 0};
}

// Fills in the candidate's readiness from what poll reported. Returns true when it is ready
// for anything that was asked.
bool Evaluate(Candidate& candidate, short revents) {
    SocketEntry& entry = *candidate.entry;
    std::lock_guard lock(entry.mutex);
    if (entry.connectPending && (revents & (POLLOUT | POLLERR | POLLHUP))) {
        entry.SettleConnectLocked();
    }
    const bool stream = entry.type == WS_SOCK_STREAM;
    const bool open = !stream || entry.connected;
    if (candidate.read) {
        candidate.readable = entry.listening
                                 ? (revents & POLLIN) != 0
                                 : open && (revents & (POLLIN | POLLHUP | POLLERR | POLLRDHUP));
    }
    if (candidate.write && !entry.listening) {
        candidate.writable = open && (revents & (POLLOUT | POLLERR | POLLHUP));
    }
    if (candidate.except) {
        // Winsock reports a failed connect as exceptional, not writable.
        candidate.exceptional = entry.connectError != 0 || (open && (revents & POLLPRI));
    }
    return candidate.readable || candidate.writable || candidate.exceptional;
}

void WriteBack(FdSet* set, bool Candidate::*ready, const std::vector<Candidate>& candidates) {
    if (!set) {
        return;
    }
    const FdSet asked = *set;
    set->count = 0;
    for (std::uint32_t i = 0; i < asked.count; ++i) {
        for (const auto& candidate : candidates) {
            if (candidate.entry->id == asked.sockets[i] && candidate.*ready) {
                set->sockets[set->count++] = asked.sockets[i];
                break;
            }
        }
    }
}

// Polls without waiting and evaluates every candidate; returns how many are ready.
int PollNow(std::vector<Candidate>& candidates, std::vector<pollfd>& requests) {
    if (::poll(requests.data(), requests.size(), 0) < 0 && errno != EINTR) {
        return Fail(FromErrno(errno), kSocketError);
    }
    int ready = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        ready += Evaluate(candidates[i], requests[i].fd < 0 ? 0 : requests[i].revents);
    }
    return ready;
}

}  // namespace

WSOCK_API int wsock_select(int, FdSet* readable, FdSet* writable, FdSet* exceptional,
                           const TimeVal* timeout) {
    if (!LayerState::CheckCallable()) {
        return kSocketError;
    }
    std::vector<Candidate> candidates;
    if (!Gather(readable, &Candidate::read, candidates) ||
        !Gather(writable, &Candidate::write, candidates) ||
        !Gather(exceptional, &Candidate::except, candidates)) {
        return kSocketError;
    }
    if (candidates.empty() || (timeout && (timeout->seconds < 0 || timeout->microseconds < 0))) {
        return Fail(WSAEINVAL, kSocketError);
    }
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (timeout) {
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout->seconds) +
                   std::chrono::microseconds(timeout->microseconds);
    }
    int ready = 0;
    for (;;) {
        std::vector<pollfd> requests;
        for (const auto& candidate : candidates) {
            requests.push_back(PollRequest(candidate));
        }
        ready = PollNow(candidates, requests);
        if (ready != 0 || (deadline && std::chrono::steady_clock::now() >= *deadline)) {
            break;
        }
        BlockingWait wait([&] {
            std::vector<std::shared_ptr<SocketEntry>> entries;
            for (const auto& candidate : candidates) {
                entries.push_back(candidate.entry);
            }
            return entries;
        }());
        if (wait.Poll(requests, deadline) < 0) {
            return kSocketError;
        }
    }
    if (ready < 0) {
        return kSocketError;
    }
    WriteBack(readable, &Candidate::readable, candidates);
    WriteBack(writable, &Candidate::writable, candidates);
    WriteBack(exceptional, &Candidate::exceptional, candidates);
    return ready;
}
