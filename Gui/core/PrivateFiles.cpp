#include "core/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fs = std::filesystem;

void CreatePrivateDirectories(const fs::path& folder, std::error_code& error) {
    error.clear();
    if (folder.empty() || fs::is_directory(folder, error)) {
        return;
    }
    const fs::path parent = folder.parent_path();
    if (parent != folder) {
        CreatePrivateDirectories(parent, error);
        if (error) {
            return;
        }
    }
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
        error.assign(errno, std::generic_category());
    }
}

std::error_code CreatePrivateFile(const fs::path& file) {
    // O_EXCL: an existing file is never opened here. Closing a descriptor of the database
    // would drop every POSIX lock this process holds on it, SQLite's included, and another
    // process could then take the write-ahead log for abandoned and delete it.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          kPrivateFileMode);
    if (fd < 0) {
        return errno == EEXIST ? std::error_code{}
                               : std::error_code{errno, std::generic_category()};
    }
    ::close(fd);
    return {};
}

std::optional<mode_t> MakePrivate(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw std::system_error(errno, std::generic_category(), path.string());
    }
    const mode_t mode = status.st_mode & 07777;
    if (S_ISLNK(status.st_mode) || (mode & 077) == 0) {
        return std::nullopt;
    }
    const mode_t wanted = S_ISDIR(status.st_mode) ? kPrivateFolderMode : (mode & 0700);
    if (::chmod(path.c_str(), wanted) != 0) {
        throw std::system_error(errno, std::generic_category(), path.string());
    }
    return mode;
}
