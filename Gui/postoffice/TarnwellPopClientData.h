#pragma once

#include <cstdint>
#include <string>

#include "postoffice/PopClientData.h"

namespace DatabaseLayer {

// The stored account of a TarnwellPopClient: a "PopClient" row of type 1. Used on one thread.
class TarnwellPopClientData : public PopClientData {
public:
    static constexpr std::int32_t kType = 1;

    // A new row; not persistent.
    TarnwellPopClientData(const std::string& hostName, const std::string& userName,
                          const std::string& password, std::int32_t port,
                          std::int32_t timeoutInSeconds)
        : PopClientData(kType, hostName, userName, password, port, timeoutInSeconds) {}
    // The existing row `existingId`.
    explicit TarnwellPopClientData(std::int64_t existingId) : PopClientData(existingId) {}
};

}  // namespace DatabaseLayer
