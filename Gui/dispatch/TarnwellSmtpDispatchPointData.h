#pragma once

#include <cstdint>

#include "dispatch/DispatchPointData.h"

namespace DatabaseLayer {

// The stored form of a TarnwellSmtpDispatchPoint: a "DispatchPoint" row of type 1.
class TarnwellSmtpDispatchPointData : public DispatchPointData {
public:
    static constexpr std::int32_t kType = 1;

    // A new row with a new box; not persistent.
    TarnwellSmtpDispatchPointData() : DispatchPointData(kType) {}
    // The existing row `existingId`.
    explicit TarnwellSmtpDispatchPointData(std::int64_t existingId)
        : DispatchPointData(existingId) {}
};

}  // namespace DatabaseLayer
