// TarnwellPopClient and the distributor above it against scripted POP3 servers: the faults a
// real server cannot be made to show on cue (a connection dropped inside a message, a stop in
// the middle of a download or of the deletions, a refused deletion).
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/ThreadData.h"
#include "core/TimeCard.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "peers/ScriptedPopServer.h"
#include "popwire.h"
#include "popwire/PopwireTest.h"
#include "postoffice/PopLetterDistributor.h"
#include "postoffice/TarnwellPopClient.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/FixedClock.h"
#include "support/LetterBoxContents.h"
#include "support/LetterStoreFiles.h"

using moxeltest::ErrorOf;
using moxeltest::RowCount;
using moxeltest::ScriptedPopServer;
using moxeltest::SubjectsIn;
using popwiretest::Join;
using popwiretest::Script;
using Strings = std::vector<std::string>;

namespace {

Script Answer(const std::string& reply) {
    return ScriptedPopServer::Answer(reply + "\r\n");
}

// The server's capabilities, without STLS: the session stays plain.
Script PlainCapabilities() {
    return ScriptedPopServer::Answer("+OK\r\nUSER\r\nUIDL\r\n.\r\n");
}

// Greeting, CAPA, USER, PASS and the STAT the library sends at login, then the client's CAPA
// after the login, which lists PIPELINING when `pipelining` is set.
Script LoggedIn(int messages, bool pipelining = false) {
    return Join(popwiretest::Greeting(), PlainCapabilities(),
                popwiretest::Login(messages, messages * 100),
                ScriptedPopServer::Answer(pipelining ? "+OK\r\nUSER\r\npipelining\r\n.\r\n"
                                                     : "+OK\r\nUSER\r\nUIDL\r\n.\r\n"));
}

// The lines a client sends up to its CAPA after the login.
const Strings kLogin = {"CAPA", "USER user", "PASS pass", "STAT", "CAPA"};

Strings AfterLogin(const Strings& lines) {
    Strings all = kLogin;
    all.insert(all.end(), lines.begin(), lines.end());
    return all;
}

std::string Text(int number) {
    return "From: friend@example.com\r\nSubject: Message " + std::to_string(number) +
           "\r\n\r\nLine one\r\n..stuffed\r\n";
}

// The server's answer to the one UIDL of a session: ids "uid-1" to "uid-<count>".
Script Listing(int count) {
    std::string lines = "+OK\r\n";
    for (int number = 1; number <= count; ++number) {
        lines += std::to_string(number) + " uid-" + std::to_string(number) + "\r\n";
    }
    return ScriptedPopServer::Answer(lines + ".\r\n");
}

// The server's side of downloading message `number`: RETR alone, the id came with the listing.
Script Download(int number) {
    return ScriptedPopServer::Answer("+OK\r\n" + Text(number) + ".\r\n");
}

// The server's side of deleting message `number`: DELE alone.
Script Delete(const std::string& reply = "+OK") {
    return Answer(reply);
}

class TarnwellPopClientTest : public moxeltest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(PopInitializeA(nullptr, nullptr), 1);
        TimeCard::PunchIn();
    }
    void TearDown() override {
        distributor.reset();
        box.reset();
        TimeCard::PunchIn();
        PopUninitialize();
        DatabaseTest::TearDown();
    }

    // A kept distributor with a client of `server` and a kept box to distribute into.
    void MakeDistributor(const ScriptedPopServer& server) {
        distributor = std::make_unique<PopLetterDistributor>(
            std::make_shared<TarnwellPopClient>("127.0.0.1", "user", "pass", server.Port(), 5));
        distributor->GetData().SetPersistent(true);
        box = std::make_unique<LetterBox>();
        box->SetPersistent(true);
    }
    // Points the distributor's client at another server, for the next run of the same objects
    // (whose client still holds the broken session).
    void MoveTo(const ScriptedPopServer& server) {
        distributor->GetPopClient()->GetData().SetPort(server.Port());
    }
    std::string Distribute() {
        return ErrorOf([this] { distributor->Distribute(*box, clock); });
    }
    // Runs Distribute on a thread of its own, over objects of its own for the same rows, so
    // that this thread can ask for a stop meanwhile; the result is the error it ended with.
    std::future<std::string> DistributeElsewhere() {
        const std::int64_t distributorId = distributor->GetData().GetId();
        const std::int64_t boxId = box->GetId();
        return std::async(std::launch::async, [this, distributorId, boxId] {
            ThreadDataScope database;
            PopLetterDistributor onThread(distributorId);
            LetterBox target(boxId);
            return ErrorOf([&] { onThread.Distribute(target, clock); });
        });
    }
    // Waits, at most about 10 seconds, until the server has received `count` lines.
    static void WaitForLines(ScriptedPopServer& server, std::size_t count) {
        for (int wait = 0;
             wait < 500 && server.Received(std::chrono::milliseconds(20)).size() < count; ++wait) {
        }
    }
    Strings Retrieved() { return SubjectsIn(distributor->GetData().GetRetrievedLetters()); }

    moxeltest::FixedClock clock{boost::posix_time::time_from_string("2005-03-11 13:36:46")};
    std::unique_ptr<PopLetterDistributor> distributor;
    std::unique_ptr<LetterBox> box;
};

const std::string kWho = " (Host Name: 127.0.0.1 User Name: user)";

TEST_F(TarnwellPopClientTest, AConnectionDroppedInsideTheSecondOfThreeLosesAndRepeatsNothing) {
    {
        ScriptedPopServer server(
            Join(LoggedIn(3), Listing(3), Download(1),
                 ScriptedPopServer::Answer("+OK\r\nFrom: friend@example.com\r\nSubject: Mess"),
                 ScriptedPopServer::Close()));
        MakeDistributor(server);
        const std::string error = Distribute();
        EXPECT_EQ(error, "Connection to server is closed" + kWho);
        EXPECT_EQ(Retrieved(), Strings{"Message 1"});
        EXPECT_EQ(distributor->GetData().GetRetrievedLetterIds().GetElementCount(), 1);
        EXPECT_EQ(RowCount("Letter"), 1) << "the half message leaves no row";
        EXPECT_EQ(moxeltest::CountStoreFiles(), 1) << "and no file";
        EXPECT_EQ(server.Received(), AfterLogin({"UIDL", "RETR 1", "RETR 2"}));
    }
    ScriptedPopServer next(Join(LoggedIn(3), Listing(3), Download(2), Download(3), Delete(),
                                Delete(), Delete(), Answer("+OK bye")));
    MoveTo(next);
    EXPECT_EQ(Distribute(), "(no error)");
    EXPECT_EQ(SubjectsIn(*box), (Strings{"Message 1", "Message 2", "Message 3"}));
    EXPECT_EQ(next.Received(),
              AfterLogin({"UIDL", "RETR 2", "RETR 3", "DELE 1", "DELE 2", "DELE 3", "QUIT"}));
    // The stored text is the server's, unstuffed, without carriage returns.
    LetterBoxLock open(*box);
    for (const auto id : box->GetLetterIds()) {
        EXPECT_NE(box->GetLetter(id)->GetText().find("\nLine one\n.stuffed\n"), std::string::npos);
    }
}

TEST_F(TarnwellPopClientTest, IdsComeFromOneListingAndFromSingleAnswersWhereItHasNone) {
    // Ids are cut as a single UIDL answer is (white space, 127 bytes), so that an id stored
    // before still matches.
    const std::string longId(130, 'x');
    struct Case {
        const char* label;
        Script session;  // after the login
        Strings sent;    // after STAT
        std::string firstId;
    };
    const Case cases[] = {
        {"one listing for the session",
         Join(ScriptedPopServer::Answer("+OK\r\n1 \t" + longId + " \r\n2 uid-2\r\n.\r\n"),
              Download(1), Download(2)),
         {"UIDL", "RETR 1", "RETR 2"},
         std::string(127, 'x')},
        {"listing refused",
         Join(Answer("-ERR not here"), Answer("+OK 1 uid-1"), Answer("+OK 2 uid-2"), Download(1),
              Download(2)),
         {"UIDL", "UIDL 1", "UIDL 2", "RETR 1", "RETR 2"},
         "uid-1"},
        {"listing without the second message",
         Join(ScriptedPopServer::Answer("+OK\r\n1 uid-1\r\n.\r\n"), Answer("+OK 2 uid-2"),
              Download(1), Download(2)),
         {"UIDL", "UIDL 2", "RETR 1", "RETR 2"},
         "uid-1"},
    };
    GetAppProperties().SetLeaveCopies(true);
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(LoggedIn(2), item.session, Answer("+OK bye")));
        MakeDistributor(server);
        EXPECT_EQ(Distribute(), "(no error)");
        Strings received = server.Received();
        ASSERT_GE(received.size(), kLogin.size());
        EXPECT_EQ(Strings(received.begin() + kLogin.size(), received.end() - 1), item.sent);
        EXPECT_EQ(distributor->GetData().GetRetrievedLetterIds().GetTexts(),
                  (std::unordered_set<std::string>{item.firstId, "uid-2"}));
    }
}

TEST_F(TarnwellPopClientTest, AStopDuringALargeDownloadEndsItWithinOneBlock) {
    // A large message whose second part comes only after a pause, during which the stop is
    // requested; the rest arrives in one burst.
    const std::string head = "From: friend@example.com\r\nSubject: Large\r\n\r\n";
    std::string rest;
    while (rest.size() < 1024 * 1024) {
        rest += "A line of a large message that goes on and on.\r\n";
    }
    ScriptedPopServer server(Join(LoggedIn(1), Listing(1),
                                  ScriptedPopServer::Answer("+OK\r\n" + head),
                                  ScriptedPopServer::Pause(std::chrono::milliseconds(500)),
                                  ScriptedPopServer::Send(rest + ".\r\n")));
    MakeDistributor(server);
    auto run = DistributeElsewhere();
    WaitForLines(server, 7);  // up to RETR 1; then the stop comes while the server pauses
    TimeCard::PunchOut();
    EXPECT_EQ(run.get(), "End of work");
    EXPECT_EQ(RowCount("Letter"), 0) << "nothing half-written stays";
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    const Strings received = server.Received();
    EXPECT_EQ(std::count(received.begin(), received.end(), "QUIT"), 0)
        << "a partly read message ends the connection without QUIT";
}

TEST_F(TarnwellPopClientTest, AStopDuringTheDeletionsEndsTheSessionWithoutQuitAndDeletesNothing) {
    ScriptedPopServer server(Join(LoggedIn(2), Listing(2), Download(1), Download(2),
                                  ScriptedPopServer::Expect(),
                                  ScriptedPopServer::Pause(std::chrono::seconds(60)),
                                  ScriptedPopServer::Send("+OK\r\n"), Delete(), Answer("+OK bye")));
    MakeDistributor(server);
    auto run = DistributeElsewhere();
    WaitForLines(server, 9);  // up to DELE 1; then the stop comes while the server pauses
    TimeCard::PunchOut();
    EXPECT_EQ(run.get(), "End of work");
    // Both letters are kept with their ids for the next run. The stop ended the wait for the
    // answer to DELE 1: the session is closed without QUIT, so the server keeps both messages.
    EXPECT_EQ(Retrieved(), (Strings{"Message 1", "Message 2"}));
    const Strings received = server.Received();
    ASSERT_EQ(received.size(), 9u);
    EXPECT_EQ(received.back(), "DELE 1");
}

TEST_F(TarnwellPopClientTest, AStopDuringQuitKeepsTheIdsSoNothingIsFetchedTwice) {
    ScriptedPopServer server(Join(LoggedIn(1), Listing(1), Download(1), Delete(),
                                  ScriptedPopServer::Expect(),
                                  ScriptedPopServer::Pause(std::chrono::seconds(60))));
    MakeDistributor(server);
    auto run = DistributeElsewhere();
    WaitForLines(server, 9);  // up to QUIT, which the server leaves unanswered
    TimeCard::PunchOut();
    EXPECT_EQ(run.get(), "End of work");
    // The server may or may not have deleted the message: its id stays, so that a message still
    // there is not fetched again.
    EXPECT_EQ(distributor->GetData().GetRetrievedLetterIds().GetElementCount(), 1);
    EXPECT_EQ(server.Received().back(), "QUIT");
}

TEST_F(TarnwellPopClientTest, ARefusedDeletionIsReportedAfterTheSessionIsReset) {
    ScriptedPopServer server(Join(LoggedIn(2), Listing(2), Download(1), Download(2), Delete(),
                                  Delete("-ERR mailbox is read-only"), Answer("+OK"),
                                  Answer("+OK 2 200"), Answer("+OK bye")));
    MakeDistributor(server);
    const std::string error = Distribute();
    EXPECT_NE(error.find(kWho), std::string::npos) << error;
    EXPECT_EQ(error.substr(error.size() - kWho.size()), kWho);
    EXPECT_EQ(Retrieved(), (Strings{"Message 1", "Message 2"}));
    distributor.reset();  // ends the session, as the collection run does
    const Strings received = server.Received();
    EXPECT_EQ(Strings(received.begin() + 9, received.end()),
              (Strings{"DELE 2", "RSET", "STAT", "QUIT"}));
}

TEST_F(TarnwellPopClientTest, APipeliningServerGetsCommandsAheadOfTheirAnswers) {
    // The server reads every RETR, then every DELE, before it answers any: a client that
    // waited for each answer would time out. A refusal in the middle must not let the answers
    // after it be taken for other commands'.
    const auto expect = [](int lines) {
        return Script(static_cast<std::size_t>(lines), ScriptedPopServer::Expect());
    };
    const auto send = [](const std::string& bytes) {
        return Script{ScriptedPopServer::Send(bytes)};
    };
    const auto message = [](int number) { return "+OK\r\n" + Text(number) + ".\r\n"; };
    const std::string allMessages = message(1) + message(2) + message(3);
    struct Case {
        const char* label;
        Script session;  // after the listing
        std::string error;
        Strings retrieved;  // left in the retrieved box
        Strings sent;       // after the login
    };
    const Case cases[] = {
        {"all accepted",
         Join(expect(3), send(allMessages), expect(3), send("+OK\r\n+OK\r\n+OK\r\n"),
              Answer("+OK bye")),
         "(no error)",
         {},
         {"UIDL", "RETR 1", "RETR 2", "RETR 3", "DELE 1", "DELE 2", "DELE 3", "QUIT"}},
        {"a message refused",
         Join(expect(3), send(message(1) + "-ERR gone\r\n" + message(3))),
         "Invalid message identifier specified" + kWho,
         {"Message 1"},
         {"UIDL", "RETR 1", "RETR 2", "RETR 3"}},
        {"a deletion refused",
         Join(expect(3), send(allMessages), expect(3), send("+OK\r\n-ERR read-only\r\n+OK\r\n"),
              Answer("+OK"), Answer("+OK 3 300"), Answer("+OK bye")),
         "Invalid message identifier specified" + kWho,
         {"Message 1", "Message 2", "Message 3"},
         {"UIDL", "RETR 1", "RETR 2", "RETR 3", "DELE 1", "DELE 2", "DELE 3", "RSET", "STAT",
          "QUIT"}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(LoggedIn(3, true), Listing(3), item.session));
        MakeDistributor(server);
        EXPECT_EQ(Distribute(), item.error);
        EXPECT_EQ(Retrieved(), item.retrieved);
        distributor.reset();  // ends the session, as the collection run does
        EXPECT_EQ(server.Received(), AfterLogin(item.sent));
    }
}

TEST_F(TarnwellPopClientTest, AStopBeforeConnectingMakesNoConnection) {
    ScriptedPopServer server(LoggedIn(0));
    TarnwellPopClient client("127.0.0.1", "user", "pass", server.Port(), 5);
    TimeCard::PunchOut();
    EXPECT_EQ(ErrorOf([&] { client.Connect(); }), "End of work");
    EXPECT_EQ(client.GetHandle(), -1);
    client.Disconnect();
    EXPECT_FALSE(server.WaitForConnection(std::chrono::milliseconds(200)));
}

TEST_F(TarnwellPopClientTest, AnEmptyServerIsNeverAskedToDelete) {
    ScriptedPopServer server(Join(LoggedIn(0), Answer("+OK bye")));
    TarnwellPopClient client("127.0.0.1", "user", "pass", server.Port(), 5);
    client.Disconnect();  // never connected: nothing happens
    client.Connect();
    EXPECT_EQ(client.GetMessageCount(), 0);
    client.DeleteAllMessages();
    client.Disconnect();
    EXPECT_EQ(server.Received(), AfterLogin({"QUIT"}));
}

TEST_F(TarnwellPopClientTest, ALibraryFailureNamesTheServerAndTheUser) {
    // A server that knows no CAPA is spoken to in plain text.
    ScriptedPopServer server(Join(ScriptedPopServer::Send("+OK ready\r\n"),
                                  Answer("-ERR unknown command"), Answer("+OK"),
                                  Answer("-ERR [AUTH] wrong password"), Answer("+OK bye")));
    TarnwellPopClient client("127.0.0.1", "user", "pass", server.Port(), 5);
    EXPECT_EQ(ErrorOf([&] { client.Connect(); }), "User authentication failed" + kWho);
}

TEST_F(TarnwellPopClientTest, AnOfferedStlsThatFailsEndsTheDownloadBeforeTheLogin) {
    struct Case {
        const char* label;
        Script afterStls;
    };
    const Case cases[] = {
        {"STLS refused", Answer("-ERR not now")},
        {"connection closed instead of TLS",
         Join(Answer("+OK begin TLS"), Script{ScriptedPopServer::Close()})},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.label);
        ScriptedPopServer server(Join(popwiretest::Greeting(),
                                      ScriptedPopServer::Answer("+OK\r\nUSER\r\nstls\r\n.\r\n"),
                                      item.afterStls));
        TarnwellPopClient client("127.0.0.1", "user", "pass", server.Port(), 5);
        EXPECT_EQ(ErrorOf([&] { client.Connect(); }),
                  "The POP3 server offers TLS (STLS), but the secure connection failed, so nothing "
                  "is sent in plain text: Unable to establish security context for this session" +
                      kWho);
        // Lines after these are the TLS hello, which may hold line ends of its own.
        const Strings received = server.Received();
        ASSERT_GE(received.size(), 2u);
        EXPECT_EQ(Strings(received.begin(), received.begin() + 2), (Strings{"CAPA", "STLS"}));
        EXPECT_TRUE(std::none_of(received.begin(), received.end(), [](const std::string& line) {
            return line.find("USER") != std::string::npos || line.find("PASS") != std::string::npos;
        })) << "no login in plain text";
    }
}

}  // namespace
