#include "postoffice/HeldMailDigest.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Format.h"
#include "database/AppPropertyCollection.h"
#include "database/EncodedWords.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "database/StoredTime.h"
#include "database/TextNumbers.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "database/tables/LetterDataTable.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/MessageIds.h"

namespace pt = boost::posix_time;
using DatabaseLayer::Transaction;

namespace {

constexpr char kLastDigestProperty[] = "LastHeldMailDigest";
// The largest letter id when the last digest was made. A letter is new when it came after the
// last digest by id or by retrieval time: times are local and to the second (a run in the
// digest's second, summer time's end), and ids are used again once the largest rows are gone.
constexpr char kLastLetterProperty[] = "LastHeldMailDigestLetter";
const pt::time_duration kDigestInterval = pt::hours(24);
// Local time runs back by at most this much when summer time ends.
const pt::time_duration kLongestRepeatedLocalTime = pt::hours(2);
// Sender and subject texts are cut to this many bytes: every line stays far below 998.
constexpr std::size_t kLongestShownText = 200;

bool IsDue(const pt::ptime& now, const std::string& last) {
    if (last.empty()) {
        return true;
    }
    const pt::time_duration elapsed = now - DatabaseLayer::TimeFromSecondsText(last);
    return elapsed >= kDigestInterval || elapsed < -kLongestRepeatedLocalTime;
}

std::int64_t LargestLetterId() {
    auto row = DatabaseLayer::ExecuteQuery(Format("SELECT IFNULL(MAX(id), 0) AS top FROM %1%;",
                                                  DatabaseLayer::LetterDataTable().TableName()));
    return row.AtEnd() ? 0 : row.GetInt64Field("top");
}

std::vector<std::int64_t> HeldAfter(std::int64_t boxId, std::int64_t mark,
                                    std::int64_t lastDigest) {
    std::vector<std::int64_t> ids;
    auto rows = DatabaseLayer::ExecuteQuery(
        Format("SELECT id FROM %1% WHERE collectionId = %2% AND (id > %3% OR CAST(timeRetrieved AS "
               "INTEGER) > %4%) ORDER BY id;",
               DatabaseLayer::LetterDataTable().TableName(), boxId, mark, lastDigest));
    for (; !rows.AtEnd(); rows.NextRow()) {
        ids.push_back(rows.GetInt64Field("id"));
    }
    return ids;
}

// A text from the network on one line of the digest: control characters (CR, LF, NUL) become
// blanks, and it is cut at a character boundary.
std::string OnOneLine(const std::string& text) {
    std::string line = DecodeHeaderForDisplay(text);
    if (line.size() > kLongestShownText) {
        std::size_t cut = kLongestShownText;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line = line.substr(0, cut) + "...";
    }
    return line;
}

// RFC 5322 date of the local time `local`, with the zone's offset at that time.
std::string MailDate(const pt::ptime& local) {
    std::tm fields = pt::to_tm(local);
    fields.tm_isdst = -1;
    const std::time_t moment = std::mktime(&fields);
    std::tm utc{};
    gmtime_r(&moment, &utc);
    const long offset = static_cast<long>((local - pt::ptime_from_tm(utc)).total_seconds() / 60);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::tm shown = pt::to_tm(local);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[shown.tm_wday], shown.tm_mday, kMonths[shown.tm_mon], shown.tm_year + 1900,
                  shown.tm_hour, shown.tm_min, shown.tm_sec, offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

std::string Body(const std::string& address, const std::vector<std::int64_t>& ids) {
    std::ostringstream body;
    body << "Moxel is holding " << ids.size() << (ids.size() == 1 ? " message" : " messages")
         << " for " << address << " that arrived since its last report,\n"
         << "because the senders are not approved yet:\n\n";
    for (const auto id : ids) {
        const Letter letter(id);
        const std::string retrieved = pt::to_simple_string(letter.GetTimeRetrieved()).substr(0, 17);
        body << "  ID " << id << "  " << retrieved << "  From: " << OnOneLine(letter.GetSender())
             << "\n      Subject: " << OnOneLine(letter.GetSubject()) << "\n";
    }
    body << "\nA sender who answers the verification request is approved, and that sender's\n"
         << "messages come to this inbox by themselves. To release a message yourself, open\n"
         << "\"Held Mail...\" from the Moxel icon's menu, or on the command line:\n\n"
         << "  moxel held               list the held messages\n"
         << "  moxel held release ID    deliver that one message to this inbox\n"
         << "  moxel held approve ID    approve its sender and deliver all of the sender's\n"
         << "                           held messages\n\n"
         << "Held messages are deleted after "
         << MailDeliveryPoint::kPendingLetterMaxAge.hours() / 24 << " days.\n";
    return body.str();
}

void Deliver(MailDeliveryPoint& point, const std::vector<std::int64_t>& ids, const pt::ptime& now) {
    // Only ever to the account's own address, and only into its inbox.
    const std::string address = point.GetAddress();
    const std::string subject =
        Format("Moxel: %1% %2% held for you", ids.size(), ids.size() == 1 ? "message" : "messages");
    const HeaderMap headers = {
        {"Auto-Submitted", "auto-generated"},  {"Content-Type", "text/plain; charset=UTF-8"},
        {"Content-Transfer-Encoding", "8bit"}, {"Date", MailDate(now)},
        {"From", "Moxel <" + address + ">"},   {"Message-ID", MakeMessageId(address)}};
    LetterBoxLock inbox(point.GetInbox());
    Letter letter;
    letter.StoreText(
        ComposeLetterText(address, address, subject, Body(address, ids), std::string(), headers));
    letter.SetTimeRetrieved(now);
    point.GetInbox()->MoveLetterHere(letter);
}

}  // namespace

int DeliverHeldMailDigests(const Clock& clock, DatabaseLayer::MailDeliveryPointsData& points) {
    auto& settings = GetAppProperties();
    const pt::ptime now = clock.Now();
    const std::string lastDigest = settings.GetValue(kLastDigestProperty);
    if (!settings.GetHeldMailDigest() || !IsDue(now, lastDigest)) {
        return 0;
    }
    std::vector<std::pair<std::unique_ptr<MailDeliveryPoint>, std::vector<std::int64_t>>> due;
    try {
        Transaction transaction;
        const std::int64_t mark = DatabaseLayer::ParseInt64(settings.GetValue(kLastLetterProperty));
        for (const auto id : points.GetElementIds()) {
            auto point = std::make_unique<MailDeliveryPoint>(id);
            auto held = HeldAfter(point->GetPendingLetters()->GetId(), mark,
                                  DatabaseLayer::ParseInt64(lastDigest));
            if (!held.empty()) {
                due.emplace_back(std::move(point), std::move(held));
            }
        }
        if (due.empty()) {
            return 0;
        }
        settings.SetValue(kLastDigestProperty, DatabaseLayer::SecondsTextFromTime(now));
        settings.SetValue(kLastLetterProperty, std::to_string(LargestLetterId()));
        for (const auto& [point, held] : due) {
            Deliver(*point, held, now);
        }
    } catch (...) {
        // Cached by SetValue though the transaction that wrote them is undone.
        settings.ForgetValue(kLastDigestProperty);
        settings.ForgetValue(kLastLetterProperty);
        throw;
    }
    return static_cast<int>(due.size());
}
