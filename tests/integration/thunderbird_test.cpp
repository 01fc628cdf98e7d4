#include "shell/integration/Thunderbird.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <thread>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "integration/ProfileFiles.h"
#include "postoffice/PopPostOffice.h"
#include "shell/integration/FileRegistry.h"
#include "shell/integration/Integration.h"
#include "shell/integration/ThunderbirdAccount.h"
#include "support/ChildProcess.h"
#include "support/DatabaseFixture.h"
#include "support/FileSizeLimit.h"
#include "support/SqliteFile.h"
#include "support/TestDataDir.h"

namespace {

using namespace EmailClientIntegration;
using namespace moxeltest::integration;

constexpr int kLocalPort = 1110;

const std::string kOtherPrefs =
    "user_pref(\"mail.server.server9.hostName\", \"Local Folders\");\n"
    "user_pref(\"mail.server.server9.type\", \"none\");\n"
    "user_pref(\"mail.server.server9.userName\", \"nobody\");\n"
    "user_pref(\"mailnews.tags.$label1.color\", \"#FF0000\");\n";

// Two POP3 accounts, one of them on 995 with TLS, and Local Folders, as Thunderbird writes them.
const std::string kTwoAccounts =
    kPrefsHeader + "user_pref(\"app.update.lastUpdateTime.addon-background-update-timer\", 0);\n" +
    "user_pref(\"mail.accountmanager.accounts\", \"account1,account2,account9\");\n" +
    PopAccountPrefs("1", "pop.example.com", "joe", "joe@example.com") +
    PopAccountPrefs("2", "pop.example.net", "ann", "ann@example.net",
                    "user_pref(\"mail.server.server2.port\", 995);\n"
                    "user_pref(\"mail.server.server2.socketType\", 3);\n") +
    kOtherPrefs;

struct Expected {
    std::string serverId;
    std::string name;
    std::string address;
    std::string server;
    std::string user;
    int port;
};

struct PrefsCase {
    const char* label;
    std::string prefs;
    std::vector<Expected> accounts;
};

std::vector<PrefsCase> PrefsCases() {
    return {
        {"as Thunderbird writes it",
         kTwoAccounts,
         {{"server1", "joe@example.com", "joe@example.com", "pop.example.com", "joe", 110},
          {"server2", "ann@example.net", "ann@example.net", "pop.example.net", "ann", 995}}},
        {"comments and unusual spacing",
         kPrefsHeader + "# a hash comment\n" +
             "user_pref(\"mail.account.account1.server\",\"server1\");\n" +
             "  user_pref ( \"mail.server.server1.hostName\" ,\t\"pop.example.com\" ) ;  // x\n" +
             "/* an old setting:\n" +
             "user_pref(\"mail.server.server1.hostName\", \"commented.out\");\n" +
             "   still a comment */\n" +
             "// user_pref(\"mail.server.server1.userName\", \"commented\");\n" +
             "user_pref(\"mail.server.server1.type\", 'pop3');\n" +
             "user_pref(\"mail.server.server1.userName\",   \"joe\"   );\n" +
             "user_pref(\"mail.server.server1.port\", +110);\n" + kOtherPrefs,
         {{"server1", "joe on pop.example.com", "", "pop.example.com", "joe", 110}}},
        {"escaped quotes and non-ASCII names",
         kPrefsHeader + "user_pref(\"mail.account.account1.identities\", \"id1\");\n" +
             "user_pref(\"mail.account.account1.server\", \"server1\");\n" +
             "user_pref(\"mail.identity.id1.useremail\", \"jörg@exämple.com\");\n" +
             "user_pref(\"mail.server.server1.hostName\", \"pop.example.com\");\n" +
             "user_pref(\"mail.server.server1.name\", \"Jörg's \\\"mail\\\" \\u00e9\");\n" +
             "user_pref(\"mail.server.server1.type\", \"pop3\");\n" +
             "user_pref(\"mail.server.server1.userName\", \"dom\\\\jörg\");\n",
         {{"server1", "Jörg's \"mail\" é", "jörg@exämple.com", "pop.example.com", "dom\\jörg",
           110}}},
        {"a missing identity and unknown prefs",
         kPrefsHeader + "user_pref(\"mail.account.account1.server\", \"server1\");\n" +
             "user_pref(\"mail.server.server1.hostName\", \"pop.example.com\");\n" +
             "user_pref(\"mail.server.server1.some_future_pref\", [1, 2]);\n" +
             "pref(\"not.a.user.pref\", true);\n" +
             "user_pref(\"mail.server.server1.type\", \"pop3\");\n" +
             "user_pref(\"mail.server.server1.userName\", \"joe\");\n",
         {{"server1", "joe on pop.example.com", "", "pop.example.com", "joe", 110}}},
        {"two accounts on the same server, an IMAP account between",
         kPrefsHeader +
             "user_pref(\"mail.accountmanager.accounts\", \"account1,account3,account2\");\n" +
             PopAccountPrefs("1", "pop.example.com", "joe", "joe@example.com") +
             PopAccountPrefs("2", "pop.example.com", "ann", "ann@example.com") +
             "user_pref(\"mail.account.account3.server\", \"server3\");\n" +
             "user_pref(\"mail.server.server3.hostName\", \"imap.example.com\");\n" +
             "user_pref(\"mail.server.server3.type\", \"imap\");\n",
         {{"server1", "joe@example.com", "joe@example.com", "pop.example.com", "joe", 110},
          {"server2", "ann@example.com", "ann@example.com", "pop.example.com", "ann", 110}}},
        {"a renamed server, a secure login and no line end at the end",
         kPrefsHeader + "user_pref(\"mail.accountmanager.accounts\", \"account1\");\n" +
             PopAccountPrefs(
                 "1", "old.example.com", "olduser", "joe@example.com",
                 "user_pref(\"mail.server.server1.authMethod\", 4);\n"
                 "user_pref(\"mail.server.server1.realhostname\", \"pop.example.com\");\n"
                 "user_pref(\"mail.server.server1.realuserName\", \"joe\");\n"
                 "user_pref(\"mail.server.server1.socketType\", 2);\n") +
             "user_pref(\"z.last\", 1);",
         {{"server1", "joe@example.com", "joe@example.com", "pop.example.com", "joe", 110}}},
        // After the renamed server above: its originals must not come back with this one.
        {"a server id used again by a plain account",
         kTwoAccounts,
         {{"server1", "joe@example.com", "joe@example.com", "pop.example.com", "joe", 110},
          {"server2", "ann@example.net", "ann@example.net", "pop.example.net", "ann", 995}}},
    };
}

// The lines of `text` without those of the prefs a switch of `serverId` may change.
std::vector<std::string> UntouchedLines(const std::string& text, const std::string& serverId) {
    std::vector<std::string> kept;
    for (const auto& line : Lines(text)) {
        bool switched = false;
        for (const char* name : {"hostName", "userName", "port", "socketType", "realhostname",
                                 "realuserName", "authMethod"}) {
            const std::string pref = "\"mail.server." + serverId + "." + name + "\"";
            switched = switched || line.find(pref) != std::string::npos;
        }
        if (!switched) {
            kept.push_back(line);
        }
    }
    return kept;
}

class ThunderbirdTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        office = std::make_unique<PopPostOffice>();
        core = std::make_unique<MoxelCore>(*office);
    }

    // A root with one profile holding `prefs`; returns the profile folder.
    std::filesystem::path MakeProfile(const std::string& prefs) {
        WriteProfilesIni(root.Path(), {{"default", "abcd.default"}});
        const auto folder = root.Path() / "abcd.default";
        WriteText(folder / "prefs.js", prefs);
        return folder;
    }
    std::shared_ptr<FileRegistry> NewRegistry() {
        return std::make_shared<FileRegistry>(config.Path() / "registry");
    }
    // The program as a new start of Moxel sees it.
    std::shared_ptr<Thunderbird> NewThunderbird() {
        return std::make_shared<Thunderbird>(NewRegistry(),
                                             std::vector<std::filesystem::path>{root.Path()});
    }
    EmailClientAccountPtr AccountOf(const std::string& serverId) {
        for (const auto& account : NewThunderbird()->EnumerateAccounts()) {
            if (std::dynamic_pointer_cast<ThunderbirdAccount>(account)->GetServerId() == serverId) {
                return account;
            }
        }
        return nullptr;
    }

    moxeltest::TempDir root;
    moxeltest::TempDir config;
    std::unique_ptr<PopPostOffice> office;
    std::unique_ptr<MoxelCore> core;
};

TEST_F(ThunderbirdTest, AccountsAreReadAndSwitchedBackByteForByte) {
    for (const auto& c : PrefsCases()) {
        SCOPED_TRACE(c.label);
        const auto folder = MakeProfile(c.prefs);
        const auto accounts = NewThunderbird()->EnumerateAccounts();
        ASSERT_EQ(accounts.size(), c.accounts.size());
        for (std::size_t i = 0; i < accounts.size(); ++i) {
            const auto& want = c.accounts[i];
            SCOPED_TRACE(want.serverId);
            auto account = accounts[i];
            EXPECT_EQ(std::dynamic_pointer_cast<ThunderbirdAccount>(account)->GetServerId(),
                      want.serverId);
            EXPECT_EQ(account->GetName(), want.name);
            EXPECT_EQ(account->GetEmailAddress(), want.address);
            EXPECT_EQ(account->GetPop3Server(), want.server);
            EXPECT_EQ(account->GetPop3UserName(), want.user);
            EXPECT_EQ(account->GetPop3Port(), want.port);

            const std::string address = want.address.empty() ? "typed@example.com" : want.address;
            const auto result = Integrate(*account, address, *core, kLocalPort);
            const std::string after = ReadText(folder / "prefs.js");
            EXPECT_EQ(UntouchedLines(after, want.serverId), UntouchedLines(c.prefs, want.serverId));
            EXPECT_EQ(ReadText(folder / "prefs.js.moxel-backup"), c.prefs);
            const auto switched = AccountOf(want.serverId);
            ASSERT_NE(switched, nullptr);
            EXPECT_TRUE(IsIntegratedForKey(*switched, result.key, kLocalPort));
            EXPECT_TRUE(core->IsAccountRegistered(result.key));
            // The other accounts of the file are not touched.
            for (const auto& other : c.accounts) {
                if (other.serverId != want.serverId) {
                    EXPECT_EQ(AccountOf(other.serverId)->GetPop3Server(), other.server);
                }
            }

            // A new start of Moxel finds the account by its key and puts it back.
            std::vector<std::string> problems;
            const auto found =
                FindAccountOfKey({NewThunderbird()}, result.key, kLocalPort, problems);
            ASSERT_NE(found, nullptr);
            Restore(*found, result.key);
            EXPECT_EQ(ReadText(folder / "prefs.js"), c.prefs);
            EXPECT_TRUE(problems.empty());
            core->UnregisterAccount(result.key);
        }
    }
}

TEST_F(ThunderbirdTest, ATlsAccountIsSwitchedToPlainLocalPop3AndBack) {
    const auto folder = MakeProfile(kTwoAccounts);
    const auto result = Integrate(*AccountOf("server2"), "ann@example.net", *core, kLocalPort);
    EXPECT_EQ(result.key.ToString(), "ann@example.net/ann/pop.example.net:995");
    const auto lines = Lines(ReadText(folder / "prefs.js"));
    for (const std::string expected :
         {"user_pref(\"mail.server.server2.hostName\", \"localhost\");",
          "user_pref(\"mail.server.server2.userName\", "
          "\"ann@example.net/ann/pop.example.net:995\");",
          "user_pref(\"mail.server.server2.port\", 1110);",
          "user_pref(\"mail.server.server2.socketType\", 0);"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
    EXPECT_EQ(Lines(ReadText(folder / "prefs.js")).size(), Lines(kTwoAccounts).size());

    // With the kept originals lost, the key still names the server, its port and so its TLS.
    std::filesystem::remove(config.Path() / "registry");
    Restore(*AccountOf("server2"), result.key);
    const auto restored = AccountOf("server2");
    EXPECT_EQ(restored->GetPop3Server(), "pop.example.net");
    EXPECT_EQ(restored->GetPop3UserName(), "ann");
    EXPECT_EQ(restored->GetPop3Port(), 995);
    const auto restoredLines = Lines(ReadText(folder / "prefs.js"));
    EXPECT_NE(std::find(restoredLines.begin(), restoredLines.end(),
                        "user_pref(\"mail.server.server2.socketType\", 3);"),
              restoredLines.end());
}

// Sets or clears the immutable flag (root) or the write bits (others) of a folder; false when
// neither can be done here.
bool SetReadOnly(const std::filesystem::path& folder, bool readOnly) {
    if (::geteuid() != 0) {
        return ::chmod(folder.c_str(), readOnly ? 0555 : 0755) == 0;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = readOnly ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

// Another process holding the fcntl lock on ".parentlock", as a running Thunderbird does.
class LockHolder {
public:
    explicit LockHolder(const std::filesystem::path& profile) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open((profile / ".parentlock").c_str(), O_RDWR | O_CREAT, 0644);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd = release[1];
        char ok = '0';
        locked = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~LockHolder() {
        if (releaseFd >= 0) {
            ::close(releaseFd);
        }
        if (pid > 0) {
            ::waitpid(pid, nullptr, 0);
        }
    }
    bool Locked() const { return locked; }

private:
    pid_t pid = -1;
    int releaseFd = -1;
    bool locked = false;
};

TEST_F(ThunderbirdTest, ASwitchThatCannotBeDoneChangesNoFile) {
    struct Case {
        const char* label;
        // Breaks something after the accounts were listed; false skips the case here.
        std::function<bool(const std::filesystem::path& folder)> fault;
        const char* message;  // nullptr: the switch works
    };
    std::unique_ptr<LockHolder> holder;
    std::unique_ptr<moxeltest::FileSizeLimit> diskFull;
    const Case cases[] = {
        {"the disk full while prefs.js is written",
         [&](const auto& folder) {
             // Room for the backup, not for the longer new file.
             diskFull = std::make_unique<moxeltest::FileSizeLimit>(
                 std::filesystem::file_size(folder / "prefs.js") + 8);
             return true;
         },
         "Cannot write"},
        {"read-only profile folder", [](const auto& folder) { return SetReadOnly(folder, true); },
         "Cannot write"},
        {"Thunderbird holds the profile lock",
         [&](const auto& folder) {
             holder = std::make_unique<LockHolder>(folder);
             return holder->Locked();
         },
         "Thunderbird is running with the profile \"default\""},
        {"a lock link of a live process",
         [](const auto& folder) {
             std::filesystem::create_symlink("127.0.0.1:+" + std::to_string(::getpid()),
                                             folder / "lock");
             return true;
         },
         "Please exit Thunderbird"},
        {"a stale lock link",
         [](const auto& folder) {
             std::filesystem::create_symlink("127.0.0.1:+2147483646", folder / "lock");
             return true;
         },
         nullptr},
        {"a damaged settings store",
         [&](const auto&) {
             WriteText(config.Path() / "registry", "MoxelRegistry 1\n[A]\n");
             return true;
         },
         "is incomplete"},
        {"the account deleted by hand",
         [](const auto& folder) {
             WriteText(folder / "prefs.js", kPrefsHeader + kOtherPrefs);
             return true;
         },
         "is no longer in the Thunderbird profile"},
        {"the profile folder gone",
         [](const auto& folder) { return std::filesystem::remove_all(folder) > 0; }, "Cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto folder = MakeProfile(kTwoAccounts);
        std::filesystem::remove(config.Path() / "registry");
        auto account = AccountOf("server1");
        ASSERT_NE(account, nullptr);
        if (!c.fault(folder)) {
            SetReadOnly(folder, false);
            std::cout << "skipped here: " << c.label << "\n";
            continue;
        }
        const std::string before = std::filesystem::exists(folder / "prefs.js")
                                       ? ReadText(folder / "prefs.js")
                                       : std::string();
        const std::string registryBefore = ReadText(config.Path() / "registry");
        try {
            const auto result = Integrate(*account, "joe@example.com", *core, kLocalPort);
            EXPECT_EQ(c.message, nullptr) << "integrated";
            core->UnregisterAccount(result.key);
        } catch (const Exception& e) {
            ASSERT_NE(c.message, nullptr) << e.GetDescription();
            EXPECT_NE(e.GetDescription().find(c.message), std::string::npos) << e.GetDescription();
            EXPECT_EQ(before.empty() ? before : ReadText(folder / "prefs.js"), before);
            EXPECT_FALSE(core->IsAccountRegistered(
                LetterBoxKey("joe@example.com", "joe", "pop.example.com")));
            // Nothing kept that would pass for the originals of a switch.
            EXPECT_EQ(NewRegistry()->GetTextValue(
                          "Software\\Ostrand\\Moxel\\Thunderbird\\" + folder.string() + "\\server1",
                          "(key)"),
                      "");
            if (std::string(c.label) == "a damaged settings store") {
                EXPECT_EQ(ReadText(config.Path() / "registry"), registryBefore);
            }
        }
        SetReadOnly(folder, false);
        holder.reset();
        diskFull.reset();
        std::filesystem::remove(folder / "lock");
    }
}

TEST_F(ThunderbirdTest, WhenThePostOfficeCannotTakeTheAccountTheSwitchIsUndone) {
    const auto folder = MakeProfile(kTwoAccounts);
    const auto account = AccountOf("server2");
    moxeltest::ExecuteOn(GetDatabasePath(), "DROP TABLE MailDeliveryPoint;");
    EXPECT_THROW(Integrate(*account, "ann@example.net", *core, kLocalPort), Exception);
    EXPECT_EQ(ReadText(folder / "prefs.js"), kTwoAccounts);
}

TEST_F(ThunderbirdTest, ProfilesThatAreGoneAreNamedAndTheOthersListed) {
    WriteProfilesIni(root.Path(), {{"gone", "gone.default"}, {"work", "work.default"}});
    std::filesystem::remove_all(root.Path() / "gone.default");
    WriteText(root.Path() / "work.default" / "prefs.js", kTwoAccounts);
    auto thunderbird = NewThunderbird();
    EXPECT_TRUE(thunderbird->HasProfiles());
    const auto accounts = thunderbird->EnumerateAccounts();
    EXPECT_EQ(accounts.size(), 2u);
    ASSERT_EQ(thunderbird->GetProblems().size(), 1u);
    EXPECT_NE(thunderbird->GetProblems()[0].find("\"gone\""), std::string::npos);
    EXPECT_NE(thunderbird->GetProblems()[0].find("no longer exists"), std::string::npos);

    std::filesystem::remove_all(root.Path() / "work.default");
    EXPECT_FALSE(NewThunderbird()->HasProfiles());
}

// Against the real program: a profile it made, accounts added the way it writes them, and its
// own lock while it runs.
TEST_F(ThunderbirdTest, AProfileMadeByTheRealThunderbird) {
    const std::string program = "/usr/bin/thunderbird";
    if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "thunderbird is not installed";
    }
    moxeltest::TempDir home;
    const auto profile = home.Path() / "moxel-profile";
    const std::map<std::string, std::string> env{{"HOME", home.Path().string()}};
    const auto created = moxeltest::RunToEnd(
        program, {"--headless", "-CreateProfile", "moxel " + profile.string()}, env);
    ASSERT_EQ(created.exitCode, 0) << created.err;
    const std::vector<std::filesystem::path> roots{home.Path() / ".thunderbird"};
    const auto waitFor = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return done();
    };
    auto thunderbird = std::make_shared<Thunderbird>(NewRegistry(), roots);
    ASSERT_TRUE(thunderbird->HasProfiles());
    const ThunderbirdProfile tbProfile = thunderbird->FindProfiles().front();
    {
        moxeltest::ChildProcess running(program, {"--headless", "--profile", profile.string()},
                                        env);
        ASSERT_TRUE(waitFor([&] {
            return tbProfile.FindRunningThunderbird() &&
                   std::filesystem::exists(profile / "prefs.js");
        })) << "Thunderbird did not start on the profile";
        running.Signal(SIGTERM);
        if (!running.WaitFor(std::chrono::seconds(60))) {
            running.Signal(SIGKILL);
            running.WaitFor(std::chrono::seconds(10));
        }
    }
    ASSERT_TRUE(waitFor([&] { return !tbProfile.FindRunningThunderbird(); }));

    // Thunderbird keeps its prefs sorted under its header; add two accounts the same way.
    const std::string written = ReadText(profile / "prefs.js");
    ASSERT_EQ(written.rfind(kPrefsHeader, 0), 0u) << written.substr(0, 400);
    std::vector<std::string> prefs = Lines(written.substr(kPrefsHeader.size()));
    for (const auto& line :
         Lines("user_pref(\"mail.accountmanager.accounts\", \"account1,account2\");\n" +
               PopAccountPrefs("1", "pop.example.com", "joe", "joe@example.com") +
               PopAccountPrefs("2", "pop.example.net", "ann", "ann@example.net",
                               "user_pref(\"mail.server.server2.port\", 995);\n"
                               "user_pref(\"mail.server.server2.socketType\", 3);\n"))) {
        prefs.push_back(line);
    }
    std::sort(prefs.begin(), prefs.end());
    std::string original = kPrefsHeader;
    for (const auto& line : prefs) {
        original += line + "\n";
    }
    WriteText(profile / "prefs.js", original);

    const auto accounts = thunderbird->EnumerateAccounts();
    ASSERT_EQ(accounts.size(), 2u);
    for (const auto& account : accounts) {
        const auto result = Integrate(*account, account->GetEmailAddress(), *core, kLocalPort);
        const auto serverId = std::dynamic_pointer_cast<ThunderbirdAccount>(account)->GetServerId();
        EXPECT_EQ(UntouchedLines(ReadText(profile / "prefs.js"), serverId),
                  UntouchedLines(original, serverId));
        Restore(*account, result.key);
        EXPECT_EQ(ReadText(profile / "prefs.js"), original);
    }

    // While Thunderbird runs with the profile, the switch is refused.
    moxeltest::ChildProcess running(program, {"--headless", "--profile", profile.string()}, env);
    ASSERT_TRUE(waitFor([&] { return tbProfile.FindRunningThunderbird().has_value(); }));
    try {
        Integrate(*accounts.front(), "joe@example.com", *core, kLocalPort);
        ADD_FAILURE() << "switched while Thunderbird runs";
    } catch (const Exception& e) {
        EXPECT_NE(e.GetDescription().find("Thunderbird is running"), std::string::npos)
            << e.GetDescription();
    }
    running.Signal(SIGTERM);
    running.WaitFor(std::chrono::seconds(60));
}

}  // namespace
