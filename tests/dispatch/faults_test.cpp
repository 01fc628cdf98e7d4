// One dispatch run per fault of the SMTP server: the events, the counts of the letters left in
// the box, the error text, and that the connection is closed. Two letters each ("one" first):
// a letter leaves the box only when the server accepted it.
#include <chrono>

#include "DispatchTest.h"
#include "support/LetterStoreFiles.h"
#include "support/LoopbackSockets.h"

namespace dispatchtest {
namespace {

using namespace std::chrono_literals;

struct FaultCase {
    const char* label;
    Script script;      // empty: nothing listens on the port
    bool login;         // authorisation enabled, method 1
    Strings events;     // without the first "SendingMail", which every case has
    Strings box;        // "<subject> <count>" left in the box
    std::string error;  // part of the run's error, or of the first MessageNotSent's
    bool runFails;      // the run ends with an Exception
    std::string wire;   // part of what the client sent
};

const Strings kBothSent = {"SendingMessage one", "MessageSent one", "SendingMessage two",
                           "MessageSent two", "MessagesSent 2"};
const Strings kFirstRefused = {"SendingMessage one", "MessageNotSent one", "SendingMessage two",
                               "MessageSent two", "MessagesSent 1"};
const Strings kBothFailed = {"SendingMessage one", "MessageNotSent one", "SendingMessage two",
                             "MessageNotSent two", "MessagesSent 0"};
// RSET before the second letter: a refusal after MAIL leaves the transaction open.
Script SecondAfterRefusal() {
    return Join(Ok(), Accepted());
}

TEST_F(DispatchTest, EachFaultOfTheServerGivesItsEventsCountsAndText) {
    const std::string longLine(10 * 1024, 'x');
    const Strings untouched = {"one 0", "two 0"};
    const FaultCase cases[] = {
        {"refused connection", {}, false, {}, untouched, "refused", true, ""},
        {"no greeting", Script{Step::Pause(20s)}, false, {}, untouched, "timed out", true, ""},
        {"554 greeting",
         Script{Step::Send("554 5.3.2 no service here\r\n")},
         false,
         {},
         untouched,
         "554 5.3.2 no service here",
         true,
         ""},
        {"EHLO refused, HELO taken",
         Join(Greeting(), Step::Answer("500 5.5.1 what?\r\n"), Ok(), Accepted(), Accepted(),
              Quit()),
         false,
         kBothSent,
         {},
         "",
         false,
         "HELO "},
        {"AUTH refused",
         Join(Greeting(), Ehlo("AUTH PLAIN"),
              Step::Answer("535 5.7.8 Authentication credentials invalid\r\n"), Quit()),
         true,
         {},
         untouched,
         "535 5.7.8 Authentication credentials invalid",
         true,
         "AUTH PLAIN"},
        {"MAIL FROM refused",
         Join(Greeting(), Ehlo(), Step::Answer("553 5.7.1 Sender rejected\r\n"), Accepted(),
              Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "553 5.7.1 Sender rejected",
         false,
         ""},
        {"one RCPT refused, the next letter on the same connection",
         Join(Greeting(), Ehlo(), Ok(),
              Step::Answer("550 5.1.1 <friend@example.com>: Recipient address rejected\r\n"),
              SecondAfterRefusal(), Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "550 5.1.1 <friend@example.com>: Recipient address rejected",
         false,
         ""},
        {"DATA refused",
         Join(Greeting(), Ehlo(), Ok(), Ok(), Step::Answer("554 5.5.1 No valid recipients\r\n"),
              SecondAfterRefusal(), Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "554 5.5.1 No valid recipients",
         false,
         ""},
        {"end of data answered 452",
         Join(Greeting(), Ehlo(), Ok(), Ok(), Step::Answer("354 go\r\n"),
              Script{Step::ExpectData(), Step::Send("452 4.3.1 Insufficient system storage\r\n")},
              Accepted(), Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "452 4.3.1 Insufficient system storage",
         false,
         ""},
        {"end of data answered 554",
         Join(Greeting(), Ehlo(), Ok(), Ok(), Step::Answer("354 go\r\n"),
              Script{Step::ExpectData(), Step::Send("554 5.7.1 spam\r\n")}, Accepted(), Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "554 5.7.1 spam",
         false,
         ""},
        {"connection dropped inside the data",
         Join(Greeting(), Ehlo(), Ok(), Ok(), Step::Answer("354 go\r\n"), Script{Step::Close()}),
         false,
         kBothFailed,
         {"one 1", "two 1"},
         "closed",
         false,
         ""},
        {"a server that stops answering",
         Join(Greeting(), Ehlo(), Script{Step::Expect(), Step::Pause(20s)}),
         false,
         kBothFailed,
         {"one 1", "two 1"},
         "timed out",
         false,
         ""},
        {"a reply line of 10 KB",
         Join(Greeting(), Ehlo(), Ok(), Step::Answer("550 " + longLine + "\r\n"),
              SecondAfterRefusal(), Quit()),
         false,
         kFirstRefused,
         {"one 1"},
         "550 xxxxxxxx",
         false,
         ""},
        {"replies without CR",
         Join(Script{Step::Send("220 hi\n")}, Step::Answer("250 test.invalid\n"),
              Step::Answer("250 ok\n"), Step::Answer("250 ok\n"), Step::Answer("354 go\n"),
              Script{Step::ExpectData(), Step::Send("250 queued\n")}, Step::Answer("250 ok\n"),
              Step::Answer("250 ok\n"), Step::Answer("354 go\n"),
              Script{Step::ExpectData(), Step::Send("250 queued\n")}, Step::Answer("221 bye\n")),
         false,
         kBothSent,
         {},
         "",
         false,
         ""},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        recorder.Clear();
        {
            LetterBoxLock lock(point->GetLetterBox());
            for (const auto id : point->GetLetterBox().GetLetterIds()) {
                point->GetLetterBox().RemoveLetter(id);
            }
        }
        AddLetter("one");
        AddLetter("two");
        point->SetAuthorizationEnabled(item.login);
        std::unique_ptr<ScriptedSmtpServer> server;
        if (item.script.empty()) {
            UseServer(moxeltest::UnusedLoopbackPort());
        } else {
            server = std::make_unique<ScriptedSmtpServer>(item.script);
            UseServer(server->Port());
        }

        const std::string runError = Dispatch();

        Strings expected = {"SendingMail"};
        expected.insert(expected.end(), item.events.begin(), item.events.end());
        EXPECT_EQ(recorder.Events(), expected);
        EXPECT_EQ(BoxState(), item.box);
        // A letter that left the box took its text along; one that stayed keeps it.
        EXPECT_EQ(moxeltest::CountStoreFiles(), static_cast<int>(item.box.size()));
        EXPECT_EQ(!runError.empty(), item.runFails) << runError;
        const std::string error =
            item.runFails ? runError : (recorder.Errors().empty() ? "" : recorder.Errors().front());
        EXPECT_NE(error.find(item.error), std::string::npos) << error;
        EXPECT_EQ(point->GetConnection(), -1);
        EXPECT_FALSE(point->GetLetterBox().IsOpen());
        if (server) {
            EXPECT_TRUE(server->WaitForEnd(5s)) << "the connection is closed";
            EXPECT_NE(server->Transcript().find(item.wire), std::string::npos)
                << server->Transcript();
        }
    }
    // The first failure of a letter is the start of its schedule.
    LetterBoxLock lock(point->GetLetterBox());
    for (const auto id : point->GetLetterBox().GetLetterIds()) {
        EXPECT_EQ(point->GetLetterBox().GetLetter(id)->GetFirstDispatchTime(), kStart);
    }
}

}  // namespace
}  // namespace dispatchtest
