#pragma once

#include "core/Exception.h"

// Thrown by TimeCard::Check() once work is over; unwinds long-running work to its thread's top.
class TimeCardException : public Exception {
public:
    TimeCardException() : Exception("End of work") {}
};
