#pragma once

#include <map>
#include <string>
#include <vector>

namespace moxeltest {

// Stores a free loopback port as "PopPort" of the data folder that `environment` selects (through
// `moxel settings set`), so that a copy started there never binds the standard port 110, which
// it may when the tests run as root. Throws std::runtime_error when the setting is refused.
void UseFreePopPort(const std::map<std::string, std::string>& environment,
                    const std::vector<std::string>& unsetVariables = {});

}  // namespace moxeltest
