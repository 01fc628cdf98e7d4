#include "app/commands/SmtpCommand.h"

#include <algorithm>
#include <map>
#include <optional>

#include "app/commands/JsonText.h"
#include "app/commands/TextChecks.h"
#include "core/Exception.h"
#include "database/Transaction.h"
#include "dispatch/OnlineCheck.h"
#include "dispatch/ServerAddress.h"
#include "dispatch/SettingsTestLines.h"
#include "dispatch/SmtpSettingsTest.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "postoffice/PopPostOffice.h"

namespace {

// The stored authorisation methods: 1 logs in to the SMTP server, 2 to a POP3 account first.
constexpr std::int32_t kSmtpLogin = 1;
constexpr std::int32_t kPopBeforeSmtp = 2;

struct SmtpSettings {
    std::string server;
    std::string auth;
    std::string user;
    std::string popServer;
    std::string popUser;
};

// The options of `smtp set` (each once, each with a value), or nullopt for bad usage.
std::optional<SmtpSettings> ParseOptions(const std::vector<std::string>& words) {
    std::map<std::string, std::string> options;
    for (std::size_t i = 1; i < words.size(); i += 2) {
        static const char* const kKnown[] = {"--server", "--auth", "--user", "--pop-server",
                                             "--pop-user"};
        if (i + 1 >= words.size() || options.count(words[i]) != 0 ||
            std::find(std::begin(kKnown), std::end(kKnown), words[i]) == std::end(kKnown)) {
            return std::nullopt;
        }
        options[words[i]] = words[i + 1];
    }
    if (options.count("--server") == 0) {
        return std::nullopt;
    }
    SmtpSettings settings{options["--server"], options["--auth"], options["--user"],
                          options["--pop-server"], options["--pop-user"]};
    if (settings.auth.empty()) {
        settings.auth = !settings.user.empty()        ? "login"
                        : !settings.popServer.empty() ? "pop"
                                                      : "none";
    }
    return settings;
}

// Why the settings cannot be stored, or the empty text.
std::string SettingsProblem(const SmtpSettings& s, const std::string& password) {
    try {
        ParseSmtpServerAddress(s.server);
    } catch (const Exception& error) {
        return error.GetDescription();
    }
    if (s.auth != "none" && s.auth != "login" && s.auth != "pop") {
        return "--auth takes none, login or pop, not '" + Printable(s.auth) + "'";
    }
    if (s.auth == "login" && !IsPrintableLine(s.user)) {
        return "--auth login needs --user NAME";
    }
    if (s.auth == "pop") {
        if (!IsPrintableLine(s.popServer) || !IsPrintableLine(s.popUser)) {
            return "--auth pop needs --pop-server HOST and --pop-user NAME";
        }
        try {
            ParsePopServerAddress(s.popServer);
        } catch (const Exception& error) {
            return error.GetDescription();
        }
    }
    if (s.auth != "none" && password.empty()) {
        return "the password is empty; give it on standard input";
    }
    if (s.auth != "none" && !IsPrintableLine(password)) {
        return "the password holds control characters";
    }
    return "";
}

void Store(TarnwellSmtpDispatchPoint& point, const SmtpSettings& s, const std::string& password) {
    DatabaseLayer::Transaction transaction;
    point.SetSmtpServerAddress(s.server);
    point.SetAuthorizationEnabled(s.auth != "none");
    if (s.auth == "login") {
        point.SetAuthorizationMethod(kSmtpLogin);
        point.SetUserName(s.user);
        point.SetPassword(password);
    } else if (s.auth == "pop") {
        point.SetAuthorizationMethod(kPopBeforeSmtp);
        point.SetPopServer(s.popServer);
        point.SetPopUserName(s.popUser);
        point.SetPopPassword(password);
    }
}

std::string AuthName(const TarnwellSmtpDispatchPoint& point) {
    if (!point.IsAuthorizationEnabled()) {
        return "none";
    }
    switch (point.GetAuthorizationMethod()) {
        case kSmtpLogin:
            return "login";
        case kPopBeforeSmtp:
            return "pop";
        default:
            return "none";
    }
}

void Print(const TarnwellSmtpDispatchPoint& point, bool json, CommandReply& reply) {
    const std::string auth = AuthName(point);
    const std::string user = auth == "login" ? point.GetUserName() : "";
    const std::string popServer = auth == "pop" ? point.GetPopServer() : "";
    const std::string popUser = auth == "pop" ? point.GetPopUserName() : "";
    if (json) {
        reply.out << "{\"server\": " << JsonString(point.GetSmtpServerAddress())
                  << ", \"auth\": " << JsonString(auth) << ", \"user\": " << JsonString(user)
                  << ", \"popServer\": " << JsonString(popServer)
                  << ", \"popUser\": " << JsonString(popUser) << "}\n";
        return;
    }
    const std::string server = point.GetSmtpServerAddress();
    reply.out << "server = " << (server.empty() ? "(not set)" : server) << "\n"
              << "auth = " << auth << "\n";
    if (auth == "login") {
        reply.out << "user = " << user << "\n";
    } else if (auth == "pop") {
        reply.out << "pop-server = " << popServer << "\npop-user = " << popUser << "\n";
    }
}

// One test letter from each protected address (and `typed`) through the dispatch point, as
// the settings dialog sends them. Every SMTP call has its own time-out, so the wait is bounded.
void Test(PopPostOffice& postOffice, const std::optional<std::string>& typed, CommandReply& reply) {
    if (typed && (!IsPrintableLine(*typed) || typed->find('@') == std::string::npos)) {
        reply.Fail("'" + Printable(*typed) + "' is not an e-mail address");
        return;
    }
    const auto addresses = SmtpSettingsTest::AddressesToTest(postOffice.GetDeliveryPoints(), typed);
    if (addresses.empty()) {
        reply.Fail(std::string(SmtpSettingsTest::kNoAddresses) +
                   " Protect an account first, or name an address: moxel smtp test ADDRESS");
        return;
    }
    SettingsTestLines lines;
    // A failure is checked against the on-line test, so that a missing connection is not
    // reported as wrong settings (the check runs only after a failure).
    SmtpSettingsTest test([] { return IsComputerOnline(); });
    test.Start(postOffice.GetSmtpDispatchPoint()->GetData().GetId(), addresses, typed, lines);
    const auto result = test.Wait();
    if (result.outcome == SmtpSettingsTest::Outcome::Passed) {
        for (const auto& line : lines.Lines()) {
            reply.out << line << "\n";
        }
        reply.out << SmtpSettingsTest::OutcomeText(result.outcome) << "\n";
        return;
    }
    std::string reason = "a letter was not sent";
    for (const auto& line : lines.Lines()) {
        if (line.rfind("Oops!", 0) == 0) {
            reason = line;
        }
    }
    if (result.failure) {
        try {
            std::rethrow_exception(result.failure);
        } catch (const Exception& error) {
            reason = error.GetDescription();
        } catch (const std::exception& error) {
            reason = error.what();
        }
    }
    reply.Fail("the SMTP settings test failed: " + reason + " (" +
               SmtpSettingsTest::OutcomeText(result.outcome) + ")");
}

}  // namespace

bool SmtpCommandWantsInput(const std::vector<std::string>& words) {
    if (words.empty() || words[0] != "set") {
        return false;
    }
    const auto settings = ParseOptions(words);
    return settings && (settings->auth == "login" || settings->auth == "pop");
}

void RunSmtpCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    const auto& w = words.words;
    const auto settings = !w.empty() && w[0] == "set" ? ParseOptions(w) : std::nullopt;
    const bool test = !w.empty() && w[0] == "test" && w.size() <= 2;
    if ((!w.empty() && !settings && !test) || (words.json && !w.empty())) {
        reply.BadUsage(
            "usage: moxel smtp [--json] | set --server HOST[:PORT] [--auth none|login|pop] "
            "[--user NAME] [--pop-server HOST --pop-user NAME] | test [ADDRESS]");
        return;
    }
    if (test) {
        Test(context.GetPostOffice(),
             w.size() == 2 ? std::optional<std::string>(w[1]) : std::nullopt, reply);
        return;
    }
    const auto point = context.GetPostOffice().GetSmtpDispatchPoint();
    if (settings) {
        if (const auto problem = SettingsProblem(*settings, words.input); !problem.empty()) {
            reply.Fail(problem);
            return;
        }
        Store(*point, *settings, words.input);
    }
    Print(*point, words.json, reply);
}
