#include "core/Exception.h"

Exception::Exception(const std::string& message) : std::runtime_error(message) {}

Exception::Exception(const std::string& message, const Exception& causeIn)
    : std::runtime_error(message), cause(std::make_shared<const Exception>(causeIn)) {}

Exception::Exception(const std::exception& other) : std::runtime_error(other.what()) {}

Exception::~Exception() = default;

std::string Exception::GetDescription() const {
    if (!cause) {
        return what();
    }
    return std::string(what()) + " because of:\n" + cause->GetDescription();
}
