#include "peers/AiosmtpdSink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace moxeltest {

AiosmtpdSink::AiosmtpdSink() {
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        throw std::runtime_error("pipe");
    }
    const std::string script = std::string(MOXEL_TEST_PEERS_DIR) + "/aiosmtpd_sink.py";
    pid = ::fork();
    if (pid == 0) {
        ::dup2(input[0], 0);
        ::dup2(output[1], 1);
        ::execl("/usr/bin/python3", "python3", script.c_str(), folder.Path().c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    stdinWrite = input[1];
    // The script prints its port once it listens; end of file means it failed.
    std::string line;
    char byte = 0;
    while (::read(output[0], &byte, 1) == 1 && byte != '\n') {
        line += byte;
    }
    ::close(output[0]);
    port = line.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(line));
}

AiosmtpdSink::~AiosmtpdSink() {
    // Closing its standard input asks it to stop; a kill follows if it does not.
    ::close(stdinWrite);
    int status = 0;
    for (int tries = 0; tries < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

std::vector<std::string> AiosmtpdSink::Messages() const {
    std::vector<std::string> messages;
    for (int n = 1;; ++n) {
        const auto path = folder.Path() / (std::to_string(n) + ".eml");
        // The envelope is written after the content: its presence means the content is whole.
        if (!std::filesystem::exists(folder.Path() / (std::to_string(n) + ".envelope"))) {
            break;
        }
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        messages.push_back(text.str());
    }
    return messages;
}

std::vector<std::string> AiosmtpdSink::WaitForMessages(std::size_t count,
                                                       std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto messages = Messages();
    while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        messages = Messages();
    }
    return messages;
}

}  // namespace moxeltest
