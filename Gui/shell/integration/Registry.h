#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace EmailClientIntegration {

// A hierarchical settings store under one root: keys named by paths whose parts are joined with
// "\", each holding named text and number values. Used on the application thread.
class Registry {
public:
    virtual ~Registry() = default;

    // Fills `names` with the names of the direct sub-keys of `keyPath`; false when the key does
    // not exist or the store cannot be read.
    virtual bool GetSubKeyNames(const std::string& keyPath, std::vector<std::string>& names) = 0;
    // True when the value exists; false when it or its key is missing.
    virtual bool ValueExists(const std::string& keyPath, const std::string& valueName) = 0;
    // The text of the value; empty when the key or the value is missing.
    virtual std::string GetTextValue(const std::string& keyPath, const std::string& valueName) = 0;
    // Writes a text value, creating the key and its parents when missing; true on success.
    virtual bool SetTextValue(const std::string& keyPath, const std::string& valueName,
                              const std::string& text) = 0;
    // The 32-bit number of the value; 0 when the key or the value is missing.
    virtual std::uint32_t GetNumberValue(const std::string& keyPath,
                                         const std::string& valueName) = 0;
    // Like SetTextValue, for a 32-bit number.
    virtual bool SetNumberValue(const std::string& keyPath, const std::string& valueName,
                                std::uint32_t number) = 0;
    // Deletes a value; true when it is gone afterwards (also when it never existed).
    virtual bool DeleteValue(const std::string& keyPath, const std::string& valueName) = 0;

    // Why the last operation that returned false or a missing result failed; empty when it did
    // not fail but found nothing.
    virtual std::string GetLastError() const = 0;
};

}  // namespace EmailClientIntegration
