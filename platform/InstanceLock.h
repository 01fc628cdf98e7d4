#pragma once

#include <filesystem>
#include <string>

namespace platform {

// A process-wide named lock that stands in for a named mutex: an exclusive flock on a file.
// The lock, not the file's existence, says that the name is taken, so a stale file left by a
// killed process does not block anybody. Owned by one thread; released on destruction.
class InstanceLock {
public:
    explicit InstanceLock(std::filesystem::path lockFile);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock (or already held it). Never blocks.
    // Throws std::system_error when the file cannot be opened at all.
    bool TryAcquire();
    bool IsHeld() const { return fd >= 0; }
    void Release();

    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
    int fd = -1;
};

}  // namespace platform
