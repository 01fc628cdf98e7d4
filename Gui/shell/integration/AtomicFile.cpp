#include "shell/integration/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/Exception.h"

namespace EmailClientIntegration {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fdIn) : fd(fdIn) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }
    // Closes now so that a failing close (a full disk on some file systems) is seen.
    bool Close() {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int error) {
    throw Exception("Cannot " + what + " " + file.string() + ": " + std::strerror(error));
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

void WriteFileAtomically(const std::filesystem::path& file, const std::string& content,
                         mode_t mode) {
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    std::string pattern = (folder / ("." + file.filename().string() + ".moxel-XXXXXX")).string();
    Descriptor out(::mkstemp(pattern.data()));
    if (out.Get() < 0) {
        Fail("write", file, errno);
    }
    const std::filesystem::path temp = pattern;
    auto giveUp = [&](const std::string& what) {
        const int error = errno;
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        Fail(what, file, error);
    };
    if (::fchmod(out.Get(), mode) != 0) {
        giveUp("set the mode of");
    }
    if (!WriteAll(out.Get(), content) || ::fsync(out.Get()) != 0) {
        giveUp("write");
    }
    if (!out.Close()) {
        giveUp("write");
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        giveUp("replace");
    }
    // The rename is durable only once the folder is flushed.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0 || ::fsync(dir.Get()) != 0) {
        Fail("flush the folder of", file, errno);
    }
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        Fail("read", file, errno);
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        Fail("read", file, errno);
    }
    return content.str();
}

}  // namespace EmailClientIntegration
