#pragma once

#include <optional>
#include <string>
#include <vector>

namespace EmailClientIntegration {

// Thunderbird's prefs.js as lines: the user_pref lines can be read and replaced one by one while
// every other byte of the file (comments, blank lines, unknown statements, line ends) stays as it
// was. A pref set twice takes its last line, as Thunderbird reads it. A plain value; any thread.
class PrefsFile {
public:
    explicit PrefsFile(const std::string& content);

    // The decoded text of a string pref; nullopt when it is missing or not a string.
    std::optional<std::string> GetString(const std::string& name) const;
    // An integer pref; nullopt when it is missing or not an integer.
    std::optional<long long> GetInteger(const std::string& name) const;
    // The pref's whole line with its line end; nullopt when it is missing.
    std::optional<std::string> GetLine(const std::string& name) const;
    // Replaces the pref's line by `line` (with its line end), appends it when the pref is
    // missing, or removes the pref's line when `line` is nullopt.
    void SetLine(const std::string& name, const std::optional<std::string>& line);
    // The names of the prefs, in file order (a pref set twice appears twice).
    std::vector<std::string> GetNames() const;

    std::string ToString() const;

    // A line as Thunderbird writes it, with a line feed.
    static std::string StringLine(const std::string& name, const std::string& value);
    static std::string IntegerLine(const std::string& name, long long value);

private:
    struct Line {
        std::string text;  // with its line end, if it has one
        std::optional<std::string> prefName;
        std::string rawValue;  // the value as written
    };
    // The index of the pref's last line; nullopt when it is missing.
    std::optional<std::size_t> Find(const std::string& name) const;

    std::vector<Line> lines;
};

}  // namespace EmailClientIntegration
