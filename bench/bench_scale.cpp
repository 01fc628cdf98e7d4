// Shows whether three operations take time that grows no faster than their work as the store
// grows: a store of N letters over 20 protected accounts (half of each account's letters in its
// inbox, half held), measured at N / 5 and at N (50,000 by default):
// - a collection run of one account (N / 25 new messages of 20 KB from Dovecot, the same number
//   at both sizes, downloaded and sorted; the two printed apart);
// - a mail program's look at an inbox of N / 10 letters through the local POP3 server (login,
//   STAT, UIDL; medians of 5 sessions);
// - the pruning of N / 5 held letters past the held-mail age by the account's own pruner.
// The store grows in place between the sizes (the letters of the first stay), filled through the
// letter boxes as the program fills them. Prints each figure with its cost per item, then the
// ratio of the per-item costs big / small: about 1 or below means no faster growth than the work.
// Usage: bench_scale [letters in the big store].
#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchDataFolder.h"
#include "MailboxLook.h"
#include "core/EventReporter.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/Transaction.h"
#include "peers/DovecotServer.h"
#include "popserver/LocalPopServer.h"
#include "popwire.h"
#include "postoffice/MailDeliveryPoint.h"
#include "postoffice/PopPostOffice.h"
#include "support/FixedClock.h"
#include "support/LoopbackSockets.h"

using Stopwatch = std::chrono::steady_clock;
namespace pt = boost::posix_time;

namespace {

constexpr int kAccounts = 20;
// The account whose inbox the mail program looks at, the one whose old held letters are pruned,
// and the account collected at each size: all different, so that no figure changes another, and
// each collected account holds just its share of the store when its run starts.
constexpr int kLookedAtAccount = 1;
constexpr int kPrunedAccount = 2;
constexpr int kCollectedAccounts[] = {0, 3};
constexpr int kStoredLetterBytes = 2 * 1024;
constexpr int kCollectedMessageBytes = 20 * 1024;
// The senders of one collection run; every fourth is approved, as in bench_collect.
constexpr int kSendersPerRun = 200;
// Stored letters come from senders no run approves, so that no sort releases them.
constexpr int kFirstStoredSender = 100000;
constexpr int kLetterBatch = 500;
constexpr int kLooks = 5;

double SecondsSince(Stopwatch::time_point start) {
    return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

// What one size of the store holds and what is measured on it.
struct StoreSize {
    int letters = 0;
    // Letters in the inbox the mail program looks at.
    int lookedAtInbox = 0;
    // Held letters older than the held-mail age in the pruned account.
    int oldHeld = 0;
    // New messages of the collection run: the same at both sizes.
    int collected = 0;

    // The rest is spread evenly over the other inboxes and every account's held letters.
    int RegularBoxes() const { return 2 * kAccounts - 1; }
    // The letters of regular box `index` (0 to RegularBoxes() - 1): the store holds `letters`.
    int RegularBox(int index) const {
        const int rest = letters - lookedAtInbox - oldHeld;
        return rest / RegularBoxes() + (index < rest % RegularBoxes() ? 1 : 0);
    }
};

StoreSize SizeOf(int letters, int collected) {
    return {letters, letters / 10, letters / 5, collected};
}

std::string Body(std::string text, int size) {
    for (int line = 0; static_cast<int>(text.size()) < size; ++line) {
        text += line % 40 == 0 ? ".a line that starts with a dot\n"
                               : "Lorem ipsum dolor sit amet, consectetur adipiscing elit, " +
                                     std::to_string(line) + "\n";
    }
    return text;
}

std::string Headers(const std::string& sender, const std::string& subject) {
    return "Return-Path: <" + sender + ">\nFrom: Sender <" + sender +
           ">\nTo: tester@example.test\nSubject: " + subject + "\n\n";
}

std::string StoredLetterText(int serial) {
    const std::string sender =
        "sender" + std::to_string(kFirstStoredSender + serial % 1000) + "@example.test";
    return Body(Headers(sender, "stored letter " + std::to_string(serial)), kStoredLetterBytes);
}

// Each run has senders of its own, so that the second run queues as many new verification
// requests as the first.
std::string CollectedSender(int run, int index) {
    return "sender" + std::to_string(run * kSendersPerRun + index % kSendersPerRun) +
           "@example.test";
}

std::string CollectedMessage(int run, int index) {
    return Body(Headers(CollectedSender(run, index), "new message " + std::to_string(index)),
                kCollectedMessageBytes);
}

// Also the account's Dovecot user.
std::string AccountUser(int account) {
    return "user" + std::to_string(account);
}

LetterBoxKey AccountKey(int account, std::uint16_t dovecotPort) {
    const std::string user = AccountUser(account);
    return {user + "@example.test", user, "localhost:" + std::to_string(dovecotPort)};
}

int CountLetters(const LetterBoxPtr& box) {
    LetterBoxLock open(box);
    return box->GetLetterCount();
}

// Stores `count` letters into `box` as retrieved at `retrieved`, a batch per transaction (the
// store's per-letter commits are not what is measured here). `serial` numbers the letters.
void AddLetters(const LetterBoxPtr& box, int count, const pt::ptime& retrieved, int& serial) {
    LetterBoxLock open(box);
    for (int done = 0; done < count;) {
        DatabaseLayer::Transaction transaction;
        for (const int end = std::min(count, done + kLetterBatch); done < end; ++done) {
            Letter letter;
            letter.StoreText(StoredLetterText(serial++));
            letter.SetTimeRetrieved(retrieved);
            box->MoveLetterHere(letter);
        }
    }
}

void TopUp(const LetterBoxPtr& box, int target, const pt::ptime& retrieved, int& serial) {
    AddLetters(box, std::max(0, target - CountLetters(box)), retrieved, serial);
}

// Brings every account up to its share of `size` as retrieved at `now`, then gives the pruned
// account its held letters from before the held-mail age. Letters already there count.
void FillStore(PopPostOffice& office, const StoreSize& size, std::uint16_t dovecotPort,
               const pt::ptime& now, int& serial) {
    int regular = 0;
    for (int account = 0; account < kAccounts; ++account) {
        const auto point = office.FindDeliveryPoint(AccountKey(account, dovecotPort));
        TopUp(point->GetInbox(),
              account == kLookedAtAccount ? size.lookedAtInbox : size.RegularBox(regular++), now,
              serial);
        TopUp(point->GetPendingLetters(), size.RegularBox(regular++), now, serial);
        if (account == kPrunedAccount) {
            AddLetters(point->GetPendingLetters(), size.oldHeld,
                       now - MailDeliveryPoint::kPendingLetterMaxAge - pt::hours(24), serial);
        }
    }
}

int StoreLetterCount(PopPostOffice& office) {
    int letters = 0;
    for (const auto& status : office.GetAccountStatuses()) {
        letters += status.inbox + status.held;
    }
    return letters;
}

struct Timed {
    double seconds = -1;
    int items = 0;
};

// The two halves of an account's collection run, apart: a growth shows in the one that grows.
struct Collection {
    Timed download;
    Timed sort;
};

// Downloads and sorts the account's new mail as a collection run does.
Collection CollectOneAccount(PopPostOffice& office, const LetterBoxKey& key, const Clock& clock) {
    const auto point = office.FindDeliveryPoint(key);
    const int before = CountLetters(point->GetInbox()) + CountLetters(point->GetPendingLetters());
    EventReporter reporter;
    auto started = Stopwatch::now();
    point->DeliverMail(clock, reporter);
    const double download = SecondsSince(started);
    started = Stopwatch::now();
    point->SortIncomingMail(clock, office.GetApprovedSenders(), office.GetTrustedSenderList(),
                            reporter);
    const double sort = SecondsSince(started);
    const int messages =
        CountLetters(point->GetInbox()) + CountLetters(point->GetPendingLetters()) - before;
    return {{download, messages}, {sort, messages}};
}

// Prunes the account's held letters as its sort does, at the time of `clock`.
Timed PruneHeldLetters(PopPostOffice& office, const LetterBoxKey& key, const Clock& clock) {
    const auto point = office.FindDeliveryPoint(key);
    const int before = CountLetters(point->GetPendingLetters());
    const auto started = Stopwatch::now();
    point->GetPendingPruner().Prune(MailDeliveryPoint::kPendingLetterMaxAge,
                                    MailDeliveryPoint::kPendingPruneInterval, clock);
    const double seconds = SecondsSince(started);
    return {seconds, before - CountLetters(point->GetPendingLetters())};
}

// Every figure of one size.
struct Figures {
    int storeLetters = 0;
    // Letters added to bring the store to this size.
    int filled = 0;
    double fillSeconds = 0;
    Collection collection;
    int inboxLetters = 0;
    bench::Look look;
    Timed pruning;
};

double MillisecondsPerItem(double seconds, int items) {
    return items > 0 ? 1000.0 * seconds / items : 0.0;
}

void PrintRow(const char* label, int store, int items, double seconds) {
    std::printf("%-30s %8d %8d %10.3f %12.4f\n", label, store, items, seconds,
                MillisecondsPerItem(seconds, items));
}

void PrintFigures(const Figures& figures) {
    const int store = figures.storeLetters;
    PrintRow("fill (not a figure)", store, figures.filled, figures.fillSeconds);
    const Timed& download = figures.collection.download;
    const Timed& sort = figures.collection.sort;
    PrintRow("collection: download", store, download.items, download.seconds);
    PrintRow("collection: sort", store, sort.items, sort.seconds);
    PrintRow("collection run", store, download.items, download.seconds + sort.seconds);
    PrintRow("POP3 login", store, figures.inboxLetters, figures.look.login);
    PrintRow("POP3 STAT and UIDL", store, figures.inboxLetters, figures.look.statAndListing);
    PrintRow("POP3 session to QUIT", store, figures.inboxLetters, figures.look.session);
    PrintRow("pruning old held letters", store, figures.pruning.items, figures.pruning.seconds);
    std::fflush(stdout);
}

void PrintRatio(const char* label, double smallSeconds, int smallItems, double bigSeconds,
                int bigItems) {
    const double small = MillisecondsPerItem(smallSeconds, smallItems);
    const double big = MillisecondsPerItem(bigSeconds, bigItems);
    std::printf("%-30s %8.2f\n", label, small > 0 ? big / small : 0.0);
}

// popwire, which the collected account's POP3 client uses, for the life of the scope.
class PopwireScope {
public:
    PopwireScope() : initialized(PopInitializeA(nullptr, nullptr) == 1) {}
    ~PopwireScope() {
        if (initialized) {
            PopUninitialize();
        }
    }
    PopwireScope(const PopwireScope&) = delete;
    PopwireScope& operator=(const PopwireScope&) = delete;

    bool Initialized() const { return initialized; }

private:
    bool initialized;
};

bool Complete(const Figures& figures, const StoreSize& size) {
    return figures.collection.sort.items == size.collected && figures.look.session >= 0 &&
           figures.pruning.items == size.oldHeld;
}

}  // namespace

int main(int argc, char** argv) {
    // bench/run hands every benchmark the same arguments; a figure meant for another one must
    // not end the whole run, so a store too small to measure becomes the smallest that is not.
    constexpr int kSmallestStore = 1000;
    const int bigLetters = std::max(kSmallestStore, argc > 1 ? std::atoi(argv[1]) : 50000);
    const int collected = bigLetters / 25;
    const StoreSize sizes[] = {SizeOf(bigLetters / 5, collected), SizeOf(bigLetters, collected)};

    moxeltest::DovecotServer::Options options;
    options.users.clear();
    for (const int account : kCollectedAccounts) {
        options.users[AccountUser(account)] = "secret";
    }
    moxeltest::DovecotServer dovecot(options);
    dovecot.Start();
    BenchDataFolder folder;
    ThreadDataScope database;
    PopwireScope popwire;
    if (!popwire.Initialized()) {
        std::fprintf(stderr, "popwire did not initialise\n");
        return 1;
    }
    PopPostOffice office;
    office.SetPersistent(true);
    for (int account = 0; account < kAccounts; ++account) {
        office.RegisterPopAccount(AccountKey(account, dovecot.Pop3Port()), "secret");
    }
    for (int run = 0; run < 2; ++run) {
        for (int index = 0; index < kSendersPerRun; index += 4) {
            office.GetApprovedSenders().Add(CollectedSender(run, index));
        }
    }
    LocalPopServer server(office, std::make_shared<EventReporter>(), {});
    server.Start(0);
    const auto port =
        static_cast<std::uint16_t>(server.WaitUntilListening(std::chrono::seconds(10)));
    const std::string lookedAtUser = AccountKey(kLookedAtAccount, dovecot.Pop3Port()).ToString();
    std::printf("%d accounts; letters of %d bytes in the store, collected messages of %d bytes\n",
                kAccounts, kStoredLetterBytes, kCollectedMessageBytes);
    std::printf("%-30s %8s %8s %10s %12s\n", "label", "store", "items", "seconds", "per item (ms)");

    // The store's own time, which moves on between the sizes so that the pruner is due again;
    // letters older than the held-mail age at that time are the ones pruned.
    moxeltest::FixedClock clock(RealTimeClock().Now());
    const pt::ptime start = clock.Now();
    int serial = 0;
    std::vector<Figures> results;
    for (int run = 0; run < 2; ++run) {
        const StoreSize& size = sizes[run];
        clock.Set(start + pt::hours(48 * run));
        Figures figures;
        const auto filling = Stopwatch::now();
        const int before = serial;
        FillStore(office, size, dovecot.Pop3Port(), clock.Now(), serial);
        figures.fillSeconds = SecondsSince(filling);
        figures.filled = serial - before;
        figures.storeLetters = StoreLetterCount(office);
        figures.inboxLetters = CountLetters(
            office.FindDeliveryPoint(AccountKey(kLookedAtAccount, dovecot.Pop3Port()))->GetInbox());
        figures.look = bench::MedianLook(port, lookedAtUser, "UIDL", kLooks);

        const int collectedAccount = kCollectedAccounts[run];
        for (int index = 0; index < size.collected; ++index) {
            dovecot.AddMessage(AccountUser(collectedAccount), CollectedMessage(run, index));
        }
        // A look first makes Dovecot index the new messages, so that the run does not pay for it.
        bench::LookAtMailbox(dovecot.Pop3Port(), AccountUser(collectedAccount), "UIDL");
        figures.collection =
            CollectOneAccount(office, AccountKey(collectedAccount, dovecot.Pop3Port()), clock);
        figures.pruning =
            PruneHeldLetters(office, AccountKey(kPrunedAccount, dovecot.Pop3Port()), clock);
        PrintFigures(figures);
        results.push_back(figures);
    }
    server.Stop();

    const Figures& small = results[0];
    const Figures& big = results[1];
    std::printf("per-item cost, big store / small store:\n");
    const Collection& smallRun = small.collection;
    const Collection& bigRun = big.collection;
    PrintRatio("collection: download", smallRun.download.seconds, smallRun.download.items,
               bigRun.download.seconds, bigRun.download.items);
    PrintRatio("collection: sort", smallRun.sort.seconds, smallRun.sort.items, bigRun.sort.seconds,
               bigRun.sort.items);
    PrintRatio("collection run", smallRun.download.seconds + smallRun.sort.seconds,
               smallRun.sort.items, bigRun.download.seconds + bigRun.sort.seconds,
               bigRun.sort.items);
    PrintRatio("POP3 STAT and UIDL", small.look.statAndListing, small.inboxLetters,
               big.look.statAndListing, big.inboxLetters);
    PrintRatio("POP3 session to QUIT", small.look.session, small.inboxLetters, big.look.session,
               big.inboxLetters);
    PrintRatio("pruning old held letters", small.pruning.seconds, small.pruning.items,
               big.pruning.seconds, big.pruning.items);
    return Complete(small, sizes[0]) && Complete(big, sizes[1]) ? 0 : 1;
}
