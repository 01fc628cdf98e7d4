#include "app/commands/StatusCommand.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include "app/commands/AccountsCommand.h"
#include "app/commands/JsonText.h"
#include "postoffice/PopPostOffice.h"

namespace {

using namespace std::chrono_literals;

// Below the client's wait for `collect` (CommandTable), so that the client hears the outcome.
constexpr auto kCollectDeadline = std::chrono::minutes(29);

std::string TimeText(const boost::posix_time::ptime& time) {
    auto text = boost::posix_time::to_iso_extended_string(time);
    std::replace(text.begin(), text.end(), 'T', ' ');
    return text;
}

std::string RunText(const CollectionOutcome& run) {
    std::string text = TimeText(run.finished) + ", ";
    if (!run.succeeded) {
        return text + "failed: " + run.error;
    }
    return text + std::to_string(run.lettersRetrieved) + " letters downloaded, " +
           std::to_string(run.lettersApproved) + " to the inbox, " +
           std::to_string(run.lettersSent) + " sent";
}

std::string RunJson(const CollectionOutcome& run) {
    return "{\"started\": " + JsonString(TimeText(run.started)) +
           ", \"finished\": " + JsonString(TimeText(run.finished)) +
           ", \"succeeded\": " + (run.succeeded ? "true" : "false") +
           ", \"error\": " + JsonString(run.error) +
           ", \"retrieved\": " + std::to_string(run.lettersRetrieved) +
           ", \"approved\": " + std::to_string(run.lettersApproved) +
           ", \"sent\": " + std::to_string(run.lettersSent) + "}";
}

}  // namespace

void RunStatusCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    if (!words.words.empty()) {
        reply.BadUsage("usage: moxel status [--json]");
        return;
    }
    auto& postOffice = context.GetPostOffice();
    const auto toSend = postOffice.CountLettersToSend();
    // Only the running copy knows its last run; it is not stored.
    const auto lastRun =
        context.InRunningCopy() ? context.GetCollectingPostOffice().GetLastRun() : std::nullopt;
    if (words.json) {
        reply.out << "{\"running\": " << (context.InRunningCopy() ? "true" : "false")
                  << ", \"accounts\": ";
        PrintAccounts(postOffice, true, reply);
        reply.out << ", \"toSend\": " << toSend
                  << ", \"lastRun\": " << (lastRun ? RunJson(*lastRun) : "null") << "}\n";
        return;
    }
    reply.out << (context.InRunningCopy() ? "Moxel is running.\n" : "Moxel is not running.\n");
    reply.out << "Accounts:\n";
    const auto before = reply.out.tellp();
    PrintAccounts(postOffice, false, reply, "  ");
    if (reply.out.tellp() == before) {
        reply.out << "  (none)\n";
    }
    reply.out << "Letters waiting to be sent: " << toSend << "\n";
    if (context.InRunningCopy()) {
        reply.out << "Last run: " << (lastRun ? RunText(*lastRun) : "none yet") << "\n";
    }
}

void RunCollectCommand(const CommandWords& words, CommandContext& context, CommandReply& reply) {
    if (!words.words.empty()) {
        reply.BadUsage("usage: moxel collect");
        return;
    }
    const auto run = context.GetCollectingPostOffice().CollectNowAndWait(kCollectDeadline);
    if (!run) {
        reply.Fail("the collection did not end within " + std::to_string(kCollectDeadline.count()) +
                   " minutes, or Moxel stopped");
        return;
    }
    if (!run->succeeded) {
        reply.Fail("the collection failed: " + run->error);
        return;
    }
    reply.out << "Collected: " << RunText(*run) << "\n";
}
