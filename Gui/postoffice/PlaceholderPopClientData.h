#pragma once

#include <cstdint>
#include <string>

#include "postoffice/PopClientData.h"

namespace DatabaseLayer {

// The stored account of a PlaceholderPopClient: a "PopClient" row of type 2. Used on one thread.
class PlaceholderPopClientData : public PopClientData {
public:
    static constexpr std::int32_t kType = 2;

    // A new row; not persistent.
    PlaceholderPopClientData(const std::string& hostName, const std::string& userName,
                             const std::string& password, std::int32_t port,
                             std::int32_t timeoutInSeconds)
        : PopClientData(kType, hostName, userName, password, port, timeoutInSeconds) {}
    // The existing row `existingId`.
    explicit PlaceholderPopClientData(std::int64_t existingId) : PopClientData(existingId) {}
};

}  // namespace DatabaseLayer
