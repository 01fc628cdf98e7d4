#pragma once

#include <memory>
#include <stdexcept>
#include <string>

// The program's own error: a message and, optionally, the error that caused it.
// Every error the program reports to its own code is an Exception or derives from one.
// Immutable once thrown, so it may be handed between threads.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message);
    // Wraps `cause`; its description becomes the tail of this one's.
    Exception(const std::string& message, const Exception& cause);
    // Takes over the message of any other standard exception (no cause).
    explicit Exception(const std::exception& other);
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    ~Exception() override;

    // The message alone when there is no cause; otherwise the message, " because of:\n"
    // and the cause's own description.
    virtual std::string GetDescription() const;

    // The wrapped cause, or null.
    const Exception* GetCause() const { return cause.get(); }

private:
    std::shared_ptr<const Exception> cause;
};
