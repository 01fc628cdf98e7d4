#include "peers/AiosmtpdServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace moxeltest {

AiosmtpdServer::AiosmtpdServer(const std::filesystem::path& folder) {
    const std::string handler = std::string(MOXEL_TEST_PEERS_DIR) + "/aiosmtpd_sink.py";
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
    pid = ::fork();
    if (pid == 0) {
        ::dup2(input[0], 0);
        ::dup2(output[1], 1);
        ::execl("/usr/bin/python3", "python3", handler.c_str(), folder.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    stdinWrite = input[1];
    std::string line;
    char byte = 0;
    while (::read(output[0], &byte, 1) == 1 && byte != '\n') {
        line += byte;
    }
    ::close(output[0]);
    port = line.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(line));
}

AiosmtpdServer::~AiosmtpdServer() {
    ::close(stdinWrite);
    int status = 0;
    for (int tries = 0; tries < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace moxeltest
