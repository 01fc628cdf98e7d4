#pragma once

#include <functional>
#include <optional>

namespace pingwiretest {

// What one echo in a child process gave: IcmpEcho's result and the last error after it.
struct Outcome {
    int result = 0;
    int code = 0;
};

// How the child's own network namespace is set up before the echo. Only its loopback
// interface exists, so nothing it sends can leave the machine.
struct Network {
    // Opens net.ipv4.ping_group_range to every group, so the datagram socket is allowed.
    bool datagramAllowed = false;
    // Keeps CAP_NET_RAW, so the raw socket is allowed (the process must run as root).
    bool rawAllowed = true;
    // Sets icmp_echo_ignore_all (IPv4 and IPv6): loopback stops answering echoes.
    bool loopbackSilent = false;
    // A thread that sends, every few milliseconds, echo requests and echo replies that are
    // not ours (another identifier, our sequence numbers) to 127.0.0.1.
    bool foreignTraffic = false;
};

// Runs `echo` in a child process inside a fresh network namespace set up as `network`.
// Nothing when the child did not finish within a generous guard (it hung). Tests skip when
// NamespacesAvailable() is false.
std::optional<Outcome> EchoInNamespace(const Network& network,
                                       const std::function<Outcome()>& echo);

// Whether this process may make network namespaces and set their sysctls (root).
bool NamespacesAvailable();

}  // namespace pingwiretest
