#include "support/FreePopPort.h"

#include <stdexcept>

#include "support/ChildProcess.h"
#include "support/LoopbackSockets.h"

namespace moxeltest {

void UseFreePopPort(const std::map<std::string, std::string>& environment,
                    const std::vector<std::string>& unsetVariables) {
    std::uint16_t port = 0;
    // Free once the probe is closed; another process taking it meanwhile only costs a line in
    // the application log.
    ListenOnLoopback(port).Close();
    const auto result = RunToEnd(MOXEL_BINARY, {"settings", "set", "PopPort", std::to_string(port)},
                                 environment, unsetVariables);
    if (result.exitCode != 0) {
        throw std::runtime_error("cannot set PopPort: " + result.out + result.err);
    }
}

}  // namespace moxeltest
