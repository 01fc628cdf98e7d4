#pragma once

#include <string>
#include <vector>

namespace moxeltest {

// Records what the code under test puts on the disk with fsync and fdatasync, by the path the
// descriptor has at that moment ("<file>.new" for a file synced before its rename), and with
// syncfs, as every regular file below the folder it names. Linking this file interposes the
// three calls for the whole test program; every call still reaches the system.
// One recorder at a time; calls from any thread are recorded.
class SyncRecorder {
public:
    SyncRecorder();
    ~SyncRecorder();
    SyncRecorder(const SyncRecorder&) = delete;
    SyncRecorder& operator=(const SyncRecorder&) = delete;

    // The synced paths, in the order of the calls.
    std::vector<std::string> Paths() const;
};

}  // namespace moxeltest
