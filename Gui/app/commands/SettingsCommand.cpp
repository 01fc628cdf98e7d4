#include "app/commands/SettingsCommand.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "app/commands/JsonText.h"
#include "app/commands/TextChecks.h"
#include "database/AppPropertyCollection.h"

namespace {

enum class Kind { Port, Seconds, Flag, ToolTipMask, Line, Text };

struct Setting {
    const char* name;
    Kind kind;
    // The value in force, defaults applied.
    std::string (*effective)(AppPropertyCollection& properties);
    // Whether a running copy only uses a new value from its next start.
    bool readAtStart;
};

const std::array<Setting, 8> kSettings = {{
    {AppPropertyCollection::kPopPort, Kind::Port,
     [](AppPropertyCollection& p) { return std::to_string(p.GetPopPort()); }, true},
    {AppPropertyCollection::kWorkInterval, Kind::Seconds,
     [](AppPropertyCollection& p) { return std::to_string(p.GetWorkInterval()); }, true},
    {AppPropertyCollection::kLeaveCopies, Kind::Flag,
     [](AppPropertyCollection& p) { return std::string(p.GetLeaveCopies() ? "true" : "false"); },
     false},
    {AppPropertyCollection::kLiveUpdate, Kind::Flag,
     [](AppPropertyCollection& p) { return std::string(p.GetLiveUpdate() ? "true" : "false"); },
     false},
    {AppPropertyCollection::kHeldMailDigest, Kind::Flag,
     [](AppPropertyCollection& p) { return std::string(p.GetHeldMailDigest() ? "true" : "false"); },
     false},
    {AppPropertyCollection::kDisabledToolTips, Kind::ToolTipMask,
     [](AppPropertyCollection& p) { return std::to_string(p.GetDisabledToolTips()); }, false},
    {AppPropertyCollection::kVerificationRequestSubject, Kind::Line,
     [](AppPropertyCollection& p) { return p.GetVerificationRequestSubject(); }, false},
    {AppPropertyCollection::kVerificationRequestBody, Kind::Text,
     [](AppPropertyCollection& p) { return p.GetVerificationRequestBody(); }, false},
}};

const Setting* FindSetting(const std::string& name) {
    const auto found = std::find_if(kSettings.begin(), kSettings.end(),
                                    [&name](const Setting& s) { return name == s.name; });
    return found == kSettings.end() ? nullptr : &*found;
}

std::string SettingNames() {
    std::string names;
    for (const auto& setting : kSettings) {
        names += (names.empty() ? "" : ", ") + std::string(setting.name);
    }
    return names;
}

// Why `value` does not fit `kind`, or nullopt when it does.
std::optional<std::string> ValueProblem(Kind kind, const std::string& value) {
    switch (kind) {
        case Kind::Port:
            return ParseNumber(value, 1, 65535)
                       ? std::nullopt
                       : std::optional<std::string>("a port number from 1 to 65535");
        case Kind::Seconds:
            return ParseNumber(value, 1, 7 * 24 * 3600)
                       ? std::nullopt
                       : std::optional<std::string>("a number of seconds from 1 to 604800");
        case Kind::Flag:
            return value == "true" || value == "false"
                       ? std::nullopt
                       : std::optional<std::string>("true or false");
        case Kind::ToolTipMask:
            return ParseNumber(value, 0, 3) ? std::nullopt
                                            : std::optional<std::string>("a number from 0 to 3");
        case Kind::Line:
            return IsPrintableLine(value) ? std::nullopt
                                          : std::optional<std::string>("one line of text");
        case Kind::Text:
            return value.find('\0') == std::string::npos
                       ? std::nullopt
                       : std::optional<std::string>("text without NUL bytes");
    }
    return std::nullopt;
}

// A value on one line of a listing: line ends shown as "\n".
std::string OnOneLine(const std::string& value) {
    std::string line;
    for (const char c : value) {
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return line;
}

void List(bool json, CommandReply& reply) {
    auto& properties = GetAppProperties();
    if (json) {
        reply.out << "{";
        for (std::size_t i = 0; i < kSettings.size(); ++i) {
            reply.out << (i == 0 ? "" : ", ") << JsonString(kSettings[i].name) << ": "
                      << JsonString(kSettings[i].effective(properties));
        }
        reply.out << "}\n";
        return;
    }
    for (const auto& setting : kSettings) {
        reply.out << setting.name << " = " << OnOneLine(setting.effective(properties)) << "\n";
    }
}

}  // namespace

void RunSettingsCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    const auto& w = words.words;
    if (w.empty()) {
        List(words.json, reply);
        return;
    }
    const bool get = w[0] == "get" && w.size() == 2;
    const bool set = w[0] == "set" && w.size() == 3;
    if ((!get && !set) || words.json) {
        reply.BadUsage("usage: moxel settings [--json] | get NAME | set NAME VALUE");
        return;
    }
    const Setting* setting = FindSetting(w[1]);
    if (setting == nullptr) {
        reply.Fail("unknown setting '" + Printable(w[1]) + "'; the settings are " + SettingNames());
        return;
    }
    auto& properties = GetAppProperties();
    if (get) {
        reply.out << setting->effective(properties) << "\n";
        return;
    }
    if (const auto problem = ValueProblem(setting->kind, w[2])) {
        reply.Fail(std::string(setting->name) + " takes " + *problem + ", not '" + Printable(w[2]) +
                   "'");
        return;
    }
    // Numbers are stored as read back, so that "08" becomes "8".
    const bool numeric = setting->kind == Kind::Port || setting->kind == Kind::Seconds ||
                         setting->kind == Kind::ToolTipMask;
    properties.SetValue(setting->name,
                        numeric ? std::to_string(*ParseNumber(w[2], 0, 1 << 30)) : w[2]);
    reply.out << setting->name << " = " << OnOneLine(setting->effective(properties)) << "\n";
    if (setting->readAtStart && context.InRunningCopy()) {
        reply.out << "The running copy uses the new value from its next start.\n";
    }
}
