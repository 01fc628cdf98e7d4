#include "dispatch/DispatchTypes.h"

#include <cstdint>
#include <memory>

#include "database/TypeRegistry.h"
#include "dispatch/DispatchPoint.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"

void RegisterDispatchTypes() {
    DatabaseLayer::TypeRegistry<DispatchPoint>::Register(
        DatabaseLayer::TarnwellSmtpDispatchPointData::kType,
        [](std::int64_t id) { return std::make_shared<TarnwellSmtpDispatchPoint>(id); });
}
