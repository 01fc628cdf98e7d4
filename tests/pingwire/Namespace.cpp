#include "Namespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace pingwiretest {

namespace {

// Well past any time-out the tests set; a child still running then is stuck.
constexpr auto kGuard = std::chrono::seconds(15);
// The foreign sender stops by itself after this, whatever happens.
constexpr auto kTrafficLimit = std::chrono::seconds(30);

bool WriteSetting(const char* path, const char* value) {
    std::ofstream file(path);
    file << value;
    file.flush();
    return static_cast<bool>(file);
}

bool LoopbackUp() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(probe, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(probe, SIOCSIFFLAGS, &request) == 0;
    ::close(probe);
    return up;
}

bool DropRawCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const unsigned bit = 1u << CAP_NET_RAW;
    data[0].effective &= ~bit;
    data[0].permitted &= ~bit;
    data[0].inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

std::uint16_t Checksum(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t index = 0; index + 1 < size; index += 2) {
        sum += static_cast<std::uint32_t>(bytes[index] << 8 | bytes[index + 1]);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

// Sends echo requests and replies with an identifier that is nobody's, carrying the first
// sequence numbers a handle uses, until `stop` or the limit.
void SendForeignTraffic(const std::atomic<bool>& stop) {
    const int raw = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (raw < 0) {
        return;
    }
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto end = std::chrono::steady_clock::now() + kTrafficLimit;
    std::uint16_t sequence = 0;
    while (!stop && std::chrono::steady_clock::now() < end) {
        sequence = static_cast<std::uint16_t>(sequence % 5 + 1);
        for (const std::uint8_t type : {std::uint8_t{8}, std::uint8_t{0}}) {
            std::uint8_t packet[16] = {type, 0,    0, 0,
                                       0xfe, 0xed, 0, static_cast<std::uint8_t>(sequence)};
            const std::uint16_t sum = Checksum(packet, sizeof(packet));
            packet[2] = static_cast<std::uint8_t>(sum >> 8);
            packet[3] = static_cast<std::uint8_t>(sum);
            ::sendto(raw, packet, sizeof(packet), 0, reinterpret_cast<sockaddr*>(&loopback),
                     sizeof(loopback));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(raw);
}

// The child's part: returns what to report.
Outcome RunChild(const Network& network, const std::function<Outcome()>& echo) {
    if (::unshare(CLONE_NEWNET) != 0 || !LoopbackUp()) {
        return {-100, errno};
    }
    const char* range = network.datagramAllowed ? "0 2147483647" : "1 0";
    if (!WriteSetting("/proc/sys/net/ipv4/ping_group_range", range)) {
        return {-101, errno};
    }
    if (network.loopbackSilent && (!WriteSetting("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1") ||
                                   !WriteSetting("/proc/sys/net/ipv6/icmp/echo_ignore_all", "1"))) {
        return {-102, errno};
    }
    std::atomic<bool> stop{false};
    std::thread traffic;
    if (network.foreignTraffic) {
        traffic = std::thread(SendForeignTraffic, std::cref(stop));
        // Let the flood begin before the echo waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!network.rawAllowed && !DropRawCapability()) {
        stop = true;
        traffic.join();
        return {-103, errno};
    }
    const Outcome outcome = echo();
    stop = true;
    if (traffic.joinable()) {
        traffic.join();
    }
    return outcome;
}

}  // namespace

bool NamespacesAvailable() {
    const std::optional<Outcome> probe = EchoInNamespace(Network{}, [] { return Outcome{0, 0}; });
    return probe && probe->result == 0;
}

std::optional<Outcome> EchoInNamespace(const Network& network,
                                       const std::function<Outcome()>& echo) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const Outcome outcome = RunChild(network, echo);
        const ssize_t written = ::write(channel[1], &outcome, sizeof(outcome));
        ::_exit(written == sizeof(outcome) ? 0 : 1);
    }
    ::close(channel[1]);
    Outcome outcome;
    pollfd ready{channel[0], POLLIN, 0};
    const bool answered =
        child > 0 &&
        ::poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(kGuard).count())) == 1 &&
        ::read(channel[0], &outcome, sizeof(outcome)) == sizeof(outcome);
    ::close(channel[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return answered ? std::optional(outcome) : std::nullopt;
}

}  // namespace pingwiretest
