#pragma once

#include <filesystem>
#include <functional>
#include <thread>

namespace platform {

// Lets a new copy of the program ask the running copy to quit, standing in for a registered
// window message: the running copy listens on a Unix-domain socket (0600, and only peers of the
// same user are heard) and calls its handler when a peer connects and sends "quit". A socket
// path longer than an address allows is reached through its folder. The listener runs on a
// thread of its own; the handler is called on that thread.
class QuitChannel {
public:
    // Starts listening at `socketPath` (an old socket file there is replaced).
    // Throws std::system_error when the socket cannot be set up.
    QuitChannel(std::filesystem::path socketPath, std::function<void()> onQuit);
    ~QuitChannel();
    QuitChannel(const QuitChannel&) = delete;
    QuitChannel& operator=(const QuitChannel&) = delete;

    // Asks the copy listening at `socketPath` to quit. False when nobody listens there.
    static bool RequestQuit(const std::filesystem::path& socketPath);

private:
    void Listen();

    std::filesystem::path path;
    std::function<void()> handler;
    // The socket's folder, held open: the socket is named through it when its path is long.
    int folderFd = -1;
    int listenFd = -1;
    int wakeFds[2] = {-1, -1};
    std::thread listener;
};

}  // namespace platform
