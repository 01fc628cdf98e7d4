#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {

InstanceLock::InstanceLock(std::filesystem::path lockFile) : path(std::move(lockFile)) {}

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::TryAcquire() {
    if (fd >= 0) {
        return true;
    }
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "Cannot open the lock file " + path.string());
    }
    if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(file);
        if (error == EWOULDBLOCK) {
            return false;
        }
        throw std::system_error(error, std::generic_category(),
                                "Cannot lock the file " + path.string());
    }
    fd = file;
    return true;
}

void InstanceLock::Release() {
    if (fd >= 0) {
        // The file stays: deleting it would race with a process that has just opened it.
        ::flock(fd, LOCK_UN);
        ::close(fd);
        fd = -1;
    }
}

}  // namespace platform
