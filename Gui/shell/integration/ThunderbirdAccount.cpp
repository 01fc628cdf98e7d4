#include "shell/integration/ThunderbirdAccount.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/PrivateFiles.h"
#include "postoffice/UpstreamServer.h"
#include "shell/integration/AtomicFile.h"

namespace EmailClientIntegration {

namespace {

constexpr const char* kDescription =
    "<table width='100%%' cellpadding=1 border=0><tr><td>POP3 Server</td><td> </td><td>%1%</td>"
    "</tr><tr><td>POP3 User Name</td><td> </td><td>%2%</td></tr><tr><td>Email Address</td>"
    "<td> </td><td>%3%</td></tr><tr><td>Profile</td><td> </td><td>%4%</td></tr></table><br>"
    "After the switch Thunderbird asks once for the account's password: type the same password "
    "as before.<br><font color=#FF4040>If Thunderbird is running please exit it before you "
    "click Next.</font>";

constexpr const char* kOriginalsRoot = "Software\\Ostrand\\Moxel\\Thunderbird";
// The value beside the original lines that names the key they were saved for.
constexpr const char* kSavedForKey = "(key)";
constexpr const char* kBackupSuffix = ".moxel-backup";
// Thunderbird's "normal password" login, the one the local server understands.
constexpr long long kCleartextPassword = 3;

// The server prefs a switch may change, without the "mail.server.serverN." prefix.
const std::vector<std::string>& SwitchedPrefs() {
    static const std::vector<std::string> names = {
        "hostName", "userName", "port", "socketType", "realhostname", "realuserName", "authMethod"};
    return names;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        std::string item = text.substr(start, comma - start);
        const auto first = item.find_first_not_of(' ');
        if (first != std::string::npos) {
            items.push_back(item.substr(first, item.find_last_not_of(' ') - first + 1));
        }
        start = comma + 1;
    }
    return items;
}

// The account manager's list, or every "mail.account.X.server" in file order when it is missing.
std::vector<std::string> AccountIds(const PrefsFile& prefs) {
    if (auto list = prefs.GetString("mail.accountmanager.accounts")) {
        return SplitList(*list);
    }
    std::vector<std::string> ids;
    for (const auto& name : prefs.GetNames()) {
        static const std::string prefix = "mail.account.";
        static const std::string suffix = ".server";
        if (name.starts_with(prefix) && name.ends_with(suffix) &&
            name.size() > prefix.size() + suffix.size()) {
            std::string id =
                name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
                ids.push_back(std::move(id));
            }
        }
    }
    return ids;
}

std::string HostPart(const std::string& host, int port) {
    return port == 110 ? host : host + ":" + std::to_string(port);
}

}  // namespace

std::vector<ThunderbirdAccount::Settings> ThunderbirdAccount::ReadAccounts(const PrefsFile& prefs) {
    std::vector<Settings> accounts;
    for (const auto& accountId : AccountIds(prefs)) {
        const auto serverId = prefs.GetString("mail.account." + accountId + ".server");
        if (!serverId) {
            continue;
        }
        const std::string server = "mail.server." + *serverId + ".";
        if (prefs.GetString(server + "type") != "pop3") {
            continue;
        }
        Settings settings;
        settings.accountId = accountId;
        settings.serverId = *serverId;
        settings.server = prefs.GetString(server + "realhostname")
                              .value_or(prefs.GetString(server + "hostName").value_or(""));
        settings.userName = prefs.GetString(server + "realuserName")
                                .value_or(prefs.GetString(server + "userName").value_or(""));
        settings.socketType = static_cast<int>(prefs.GetInteger(server + "socketType").value_or(0));
        // Without a port Thunderbird uses the standard one of the TLS mode.
        settings.port = static_cast<int>(
            prefs.GetInteger(server + "port").value_or(settings.socketType == 3 ? 995 : 110));
        const auto identities = prefs.GetString("mail.account." + accountId + ".identities");
        if (identities) {
            const auto ids = SplitList(*identities);
            if (!ids.empty()) {
                settings.emailAddress =
                    prefs.GetString("mail.identity." + ids.front() + ".useremail").value_or("");
            }
        }
        settings.name =
            prefs.GetString(server + "name").value_or(settings.userName + " on " + settings.server);
        accounts.push_back(std::move(settings));
    }
    return accounts;
}

ThunderbirdAccount::ThunderbirdAccount(std::shared_ptr<Registry> registryIn,
                                       ThunderbirdProfile profileIn, Settings settingsIn,
                                       bool showProfileNameIn)
    : registry(std::move(registryIn)),
      profile(std::move(profileIn)),
      settings(std::move(settingsIn)),
      showProfileName(showProfileNameIn) {}

std::string ThunderbirdAccount::GetName() const {
    return showProfileName ? settings.name + " (" + profile.name + ")" : settings.name;
}

std::string ThunderbirdAccount::GetDescription() const {
    return Format(kDescription, HostPart(settings.server, settings.port), settings.userName,
                  settings.emailAddress, profile.name);
}

void ThunderbirdAccount::RefuseWhileRunning() const {
    if (const auto holder = profile.FindRunningThunderbird()) {
        throw Exception("Thunderbird is running with the profile \"" + profile.name + "\" (" +
                        *holder + "). Please exit Thunderbird and click Next again.");
    }
}

void ThunderbirdAccount::CheckCanBeProtected() const {
    RefuseWhileRunning();
}

LetterBoxKey ThunderbirdAccount::MakeKey(const std::string& emailAddress) const {
    return LetterBoxKey(emailAddress, settings.userName, HostPart(settings.server, settings.port));
}

std::string ThunderbirdAccount::OriginalsKey() const {
    // Store key paths are split at "\"; a profile path holds none on Linux, but be sure.
    std::string folder = profile.folder.string();
    for (auto& c : folder) {
        if (c == '\\') {
            c = '/';
        }
    }
    return std::string(kOriginalsRoot) + "\\" + folder + "\\" + settings.serverId;
}

PrefsFile ThunderbirdAccount::ReadPrefs(const std::string& content) const {
    PrefsFile prefs(content);
    for (const auto& account : ReadAccounts(prefs)) {
        if (account.serverId == settings.serverId) {
            return prefs;
        }
    }
    throw Exception("The account \"" + settings.name +
                    "\" is no longer in the Thunderbird profile \"" + profile.name + "\".");
}

void ThunderbirdAccount::WritePrefs(const std::string& before, const std::string& after) const {
    const auto path = profile.PrefsPath();
    struct stat status {};
    const mode_t mode =
        ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : kPrivateFileMode;
    WriteFileAtomically(path.string() + kBackupSuffix, before, mode);
    WriteFileAtomically(path, after, mode);
}

void ThunderbirdAccount::SwitchToLocalServer(const LetterBoxKey& key, int localPort) {
    RefuseWhileRunning();
    const std::string before = ReadWholeFile(profile.PrefsPath());
    PrefsFile prefs = ReadPrefs(before);
    const std::string server = "mail.server." + settings.serverId + ".";

    std::map<std::string, std::optional<std::string>> wanted = {
        {"hostName", PrefsFile::StringLine(server + "hostName", "localhost")},
        {"userName", PrefsFile::StringLine(server + "userName", key.ToString())},
        {"port", PrefsFile::IntegerLine(server + "port", localPort)},
        // The local server speaks no TLS.
        {"socketType", PrefsFile::IntegerLine(server + "socketType", 0)},
    };
    // The names Thunderbird connects with when the user renamed the server.
    if (prefs.GetLine(server + "realhostname")) {
        wanted["realhostname"] = PrefsFile::StringLine(server + "realhostname", "localhost");
    }
    if (prefs.GetLine(server + "realuserName")) {
        wanted["realuserName"] = PrefsFile::StringLine(server + "realuserName", key.ToString());
    }
    if (prefs.GetInteger(server + "authMethod").value_or(kCleartextPassword) !=
        kCleartextPassword) {
        wanted["authMethod"] = PrefsFile::IntegerLine(server + "authMethod", kCleartextPassword);
    }

    // The original lines first: a switch whose originals are not kept could not be undone.
    const std::string originals = OriginalsKey();
    registry->DeleteValue(originals, kSavedForKey);
    // Only what this switch changes may be put back: values kept by an earlier switch of this
    // server id (perhaps another account since) would otherwise return with the restore.
    for (const auto& name : SwitchedPrefs()) {
        if (wanted.count(name) == 0) {
            registry->DeleteValue(originals, name);
        }
    }
    for (const auto& [name, line] : wanted) {
        if (!registry->SetTextValue(originals, name, prefs.GetLine(server + name).value_or(""))) {
            throw Exception("Moxel could not keep the original settings of the account",
                            Exception(registry->GetLastError()));
        }
    }
    if (!registry->SetTextValue(originals, kSavedForKey, key.ToString())) {
        throw Exception("Moxel could not keep the original settings of the account",
                        Exception(registry->GetLastError()));
    }
    for (const auto& [name, line] : wanted) {
        prefs.SetLine(server + name, line);
    }
    try {
        WritePrefs(before, prefs.ToString());
    } catch (const Exception&) {
        registry->DeleteValue(originals, kSavedForKey);
        throw;
    }
    settings.server = "localhost";
    settings.userName = key.ToString();
    settings.port = localPort;
    settings.socketType = 0;
}

void ThunderbirdAccount::SwitchBack(const LetterBoxKey& key) {
    RefuseWhileRunning();
    const std::string before = ReadWholeFile(profile.PrefsPath());
    PrefsFile prefs = ReadPrefs(before);
    const std::string server = "mail.server." + settings.serverId + ".";
    const std::string originals = OriginalsKey();

    if (registry->GetTextValue(originals, kSavedForKey) == key.ToString()) {
        for (const auto& name : SwitchedPrefs()) {
            if (!registry->ValueExists(originals, name)) {
                continue;
            }
            const std::string line = registry->GetTextValue(originals, name);
            prefs.SetLine(server + name,
                          line.empty() ? std::nullopt : std::optional<std::string>(line));
        }
    } else {
        // The originals are lost: the key still names the real server.
        const UpstreamServer upstream = UpstreamServer::Parse(key.GetHost());
        const std::string& host = upstream.host;
        const int port = upstream.port;
        const bool renamed = prefs.GetLine(server + "realhostname").has_value();
        prefs.SetLine(
            server + (renamed ? "realhostname" : "hostName"),
            PrefsFile::StringLine(server + (renamed ? "realhostname" : "hostName"), host));
        const bool renamedUser = prefs.GetLine(server + "realuserName").has_value();
        prefs.SetLine(server + (renamedUser ? "realuserName" : "userName"),
                      PrefsFile::StringLine(server + (renamedUser ? "realuserName" : "userName"),
                                            key.GetUserName()));
        prefs.SetLine(server + "port", PrefsFile::IntegerLine(server + "port", port));
        if (port == 995) {
            prefs.SetLine(server + "socketType", PrefsFile::IntegerLine(server + "socketType", 3));
        }
    }
    WritePrefs(before, prefs.ToString());
    // The originals are used up; stale ones would only be overwritten by the next switch.
    registry->DeleteValue(originals, kSavedForKey);
    const auto reread = ReadAccounts(prefs);
    for (const auto& account : reread) {
        if (account.serverId == settings.serverId) {
            const std::string name = settings.name;
            settings = account;
            settings.name = name;
        }
    }
}

}  // namespace EmailClientIntegration
