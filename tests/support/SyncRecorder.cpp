#include "support/SyncRecorder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

namespace {

struct Recording {
    std::mutex mutex;
    bool active = false;
    std::vector<std::string> paths;
};

Recording& State() {
    static Recording recording;
    return recording;
}

void Record(int fd) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.active) {
        return;
    }
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    state.paths.push_back(error ? "<fd " + std::to_string(fd) + ">" : path.string());
}

// syncfs puts the whole file system on the disk: recorded as every regular file below the
// folder it was called on, as they stand at that moment.
void RecordFileSystem(int fd) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.active) {
        return;
    }
    std::error_code error;
    const auto folder = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    if (error) {
        state.paths.push_back("<fd " + std::to_string(fd) + ">");
        return;
    }
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            state.paths.push_back(it->path().string());
        }
    }
}

using SyncCall = int (*)(int);

SyncCall Next(const char* name) {
    return reinterpret_cast<SyncCall>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    static const SyncCall next = Next("fsync");
    Record(fd);
    return next(fd);
}

extern "C" int fdatasync(int fd) {
    static const SyncCall next = Next("fdatasync");
    Record(fd);
    return next(fd);
}

extern "C" int syncfs(int fd) {
    static const SyncCall next = Next("syncfs");
    RecordFileSystem(fd);
    return next(fd);
}

namespace moxeltest {

SyncRecorder::SyncRecorder() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.paths.clear();
    state.active = true;
}

SyncRecorder::~SyncRecorder() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.active = false;
}

std::vector<std::string> SyncRecorder::Paths() const {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.paths;
}

}  // namespace moxeltest
