#include "dispatch/DispatchPoint.h"

#include "core/Exception.h"

DispatchPoint::~DispatchPoint() = default;

DatabaseLayer::DispatchPointData& DispatchPoint::GetData() {
    throw Exception("Not implemented");
}
