#pragma once

#include <sys/resource.h>

namespace moxeltest {

// Makes the disk full past `bytes` for this process, also when it runs as root: no file can grow
// beyond the limit (writes fail with EFBIG; SIGXFSZ is ignored meanwhile). Restores both on
// destruction. Files already larger can still be rewritten in place, so a small database file
// keeps working.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
};

}  // namespace moxeltest
