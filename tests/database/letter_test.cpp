#include <gtest/gtest.h>

#include <algorithm>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/Directories.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "database/PersistentStringCollection.h"
#include "database/ThreadDatabase.h"
#include "database/Transaction.h"
#include "support/DatabaseFixture.h"
#include "support/FileSizeLimit.h"
#include "support/LetterStoreFiles.h"
#include "support/SyncRecorder.h"

using namespace DatabaseLayer;
using namespace std::string_literals;
namespace fs = std::filesystem;
namespace pt = boost::posix_time;

namespace {

int LetterRows() {
    return ExecuteScalar("SELECT COUNT(*) FROM Letter;");
}

std::string Column(std::int64_t id, const std::string& column) {
    auto row = ExecuteQuery(Format("SELECT %1% FROM Letter WHERE id = %2%;", column, id));
    return row.AtEnd() ? "<no row>" : row.GetStringField(column);
}

const std::string kDownloaded =
    "Return-Path: <bounce@lists.example>\r\n"
    "Received: from mx.example\r\n\tby here; Fri, 11 Mar 2005 13:36:46 +0100\r\n"
    "From: \"Ann Example\" <Ann.Example@Mail.EXAMPLE>\r\n"
    "To: Bob <BOB@home.example>, carol@home.example\r\n"
    "Subject: It's about\r\n the meeting\r\n"
    "\r\n"
    "Hello Bob,\r\n\r\nsee you.\r\n";

// A kept letter holding `text`; returns its id.
std::int64_t KeepLetter(const std::string& text) {
    Letter letter;
    letter.StoreText(text);
    letter.SetPersistent(true);
    return letter.GetId();
}

using LetterTest = moxeltest::DatabaseTest;

TEST_F(LetterTest, StoreTextKeepsTheTextAndFillsTheSummaryFields) {
    Letter letter;
    letter.StoreText(kDownloaded);
    EXPECT_EQ(letter.GetSender(), "ann.example@mail.example");
    EXPECT_EQ(letter.GetRecipient(), "bob@home.example");
    EXPECT_EQ(letter.GetSubject(), "It's about the meeting");
    EXPECT_EQ(letter.GetReturnPath(), "<bounce@lists.example>");
    EXPECT_FALSE(letter.HasNullReturnPath());
    EXPECT_EQ(letter.GetText(), RemoveCarriageReturns(kDownloaded));
    // The fields are in the database, not only in the object's cache.
    EXPECT_EQ(Column(letter.GetId(), "sender"), "ann.example@mail.example");
    EXPECT_EQ(Column(letter.GetId(), "subject"), "It's about the meeting");
    EXPECT_EQ(Column(letter.GetId(), "sourceHandle"), letter.GetSourceHandle());
    // The store file holds the text exactly as given.
    EXPECT_EQ(moxeltest::ReadStoreFile(letter.GetSourceHandle()), kDownloaded);
}

TEST_F(LetterTest, TextsComeBackByteForByteWithoutCarriageReturns) {
    Letter letter;
    std::string allBytes;
    for (int i = 0; i < 256; ++i) {
        if (i != '\r') {
            allBytes += static_cast<char>(i);
        }
    }
    for (const std::string& text : {""s, "one line"s, "NUL\0in\0the\0middle"s, allBytes,
                                    std::string(3 << 20, 'm'), "From: a\n\nbody without end"s}) {
        SCOPED_TRACE(text.size());
        letter.SetText(text);
        EXPECT_EQ(letter.GetText(), text);
        EXPECT_EQ(letter.GetSize(), text.size());
    }
    // Carriage returns are dropped on reading, also a bare one inside a line.
    letter.SetText("a\r\nb\rc\r\n");
    EXPECT_EQ(letter.GetText(), "a\nbc\n");
    EXPECT_EQ(letter.GetSize(), 5u);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
}

TEST_F(LetterTest, TopGivesTheHeadersAndTheFirstBodyLines) {
    Letter letter;
    letter.StoreText(kDownloaded);
    const std::string text = RemoveCarriageReturns(kDownloaded);
    const std::string header = text.substr(0, text.find("\n\n"));
    EXPECT_EQ(letter.GetTop(0), header + "\n\n");
    EXPECT_EQ(letter.GetTop(1), header + "\n\nHello Bob,\n");
    EXPECT_EQ(letter.GetTop(3), header + "\n\nHello Bob,\n\nsee you.\n");
    EXPECT_EQ(letter.GetTop(50), text);
}

TEST_F(LetterTest, ALetterWithoutTextReadsEmpty) {
    Letter letter;
    EXPECT_EQ(letter.GetSourceHandle(), "");
    EXPECT_EQ(letter.GetText(), "");
    EXPECT_EQ(letter.GetSize(), 0u);
    EXPECT_EQ(letter.GetTop(5), "\n\n");
    EXPECT_EQ(letter.GetCollectionId(), -1);
    EXPECT_EQ(letter.GetDispatchCount(), 0);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
}

TEST_F(LetterTest, ComposedLettersAreStoredAtOnce) {
    Letter letter("Me@Here.example", "you@there.example", "Re: hello [X1]", "Please reply.", "<>");
    EXPECT_EQ(letter.GetText(),
              "Content-Type: text/plain\nFrom: Me@Here.example\nMIME-Version: 1.0\n"
              "Return-Path: <>\nSubject: Re: hello [X1]\nTo: you@there.example\n\nPlease reply.");
    EXPECT_EQ(letter.GetSender(), "me@here.example");
    EXPECT_EQ(letter.GetRecipient(), "you@there.example");
    EXPECT_EQ(letter.GetSubject(), "Re: hello [X1]");
    EXPECT_TRUE(letter.HasNullReturnPath());

    Letter noReturnPath("me@here.example", "you@there.example", "s", "b", "");
    EXPECT_EQ(noReturnPath.GetText().find("Return-Path"), std::string::npos);
    EXPECT_FALSE(noReturnPath.HasNullReturnPath());
}

TEST_F(LetterTest, TextArrivingInPiecesIsStoredLikeAWholeText) {
    Letter letter;
    letter.SetText("");
    letter.AppendPendingText("stale");
    letter.ClearPendingText();
    for (std::size_t i = 0; i < kDownloaded.size(); i += 7) {
        letter.AppendPendingText(std::string_view(kDownloaded).substr(i, 7));
    }
    letter.StorePendingText();
    EXPECT_EQ(letter.GetText(), RemoveCarriageReturns(kDownloaded));
    EXPECT_EQ(letter.GetSender(), "ann.example@mail.example");
    // The pending text was emptied: storing again gives an empty letter.
    letter.StorePendingText();
    EXPECT_EQ(letter.GetText(), "");
    EXPECT_EQ(letter.GetSender(), "");
}

TEST_F(LetterTest, TimesUseTheSecondsForm) {
    Letter letter;
    EXPECT_EQ(letter.GetTimeRetrieved(), pt::time_from_string("1977-01-01 00:00:00"));
    letter.SetTimeRetrieved(pt::time_from_string("1977-01-02 00:00:00"));
    EXPECT_EQ(Column(letter.GetId(), "timeRetrieved"), "86400");
    const pt::ptime late = pt::time_from_string("2046-06-01 08:00:00");
    letter.SetTimeRetrieved(late);
    EXPECT_EQ(Letter(letter.GetId()).GetTimeRetrieved(), late);
}

TEST_F(LetterTest, FirstDispatchTimeMustHaveBeenSet) {
    Letter letter;
    try {
        letter.GetFirstDispatchTime();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(),
                     "Internal error: No information about time this letter was first tried to "
                     "be dispatched");
    }
    const pt::ptime first = pt::time_from_string("2005-03-11 10:00:00");
    letter.SetFirstDispatchTime(first);
    letter.SetDispatchCount(3);
    EXPECT_EQ(letter.GetFirstDispatchTime(), first);
    EXPECT_EQ(Column(letter.GetId(), "firstDispatchTime"), "889610400");
    EXPECT_EQ(Column(letter.GetId(), "dispatchCount"), "3");
}

TEST_F(LetterTest, AChangeIsNeverSeenThroughAnotherObjectOfTheSameRow) {
    const std::int64_t id = KeepLetter("From: a@x.example\nSubject: original\n\nbody");
    Letter first(id);
    Letter second(id);
    ASSERT_EQ(first.GetSubject(), "original");
    second.SetSubject("changed");
    EXPECT_NE(second.GetId(), id);
    EXPECT_EQ(first.GetSubject(), "original");
    EXPECT_EQ(Letter(id).GetSubject(), "original");
    EXPECT_EQ(second.GetSubject(), "changed");
    // The detached copy has its own text file with the same text.
    EXPECT_NE(second.GetSourceHandle(), first.GetSourceHandle());
    EXPECT_EQ(second.GetText(), first.GetText());
    second.SetText("new text");
    EXPECT_EQ(first.GetText(), "From: a@x.example\nSubject: original\n\nbody");
    EXPECT_EQ(LetterRows(), 2);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 2);
}

TEST_F(LetterTest, TheOnlyObjectOfARowChangesItInPlace) {
    Letter letter;
    const std::int64_t id = letter.GetId();
    letter.StoreText("Subject: s\n\nb");
    letter.SetSubject("t");
    letter.SetSender("o'neil@x.example");
    EXPECT_EQ(letter.GetId(), id);
    EXPECT_EQ(LetterRows(), 1);
    EXPECT_EQ(Column(id, "sender"), "o'neil@x.example");
}

TEST_F(LetterTest, ARowGoesWithItsLastObjectUnlessKept) {
    std::int64_t dropped = 0;
    {
        auto fresh = std::make_unique<Letter>();
        fresh->SetText("dropped");
        dropped = fresh->GetId();
        Letter other(dropped);
        fresh.reset();
        // Still held by `other`.
        EXPECT_EQ(Column(dropped, "id"), std::to_string(dropped));
    }
    EXPECT_EQ(Column(dropped, "id"), "<no row>");
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);

    std::int64_t kept = 0;
    {
        auto fresh = std::make_unique<Letter>();
        kept = fresh->GetId();
        Letter other(kept);
        fresh.reset();
        other.SetPersistent(true);
    }
    EXPECT_EQ(Column(kept, "id"), std::to_string(kept));
}

TEST_F(LetterTest, CopiesHaveTheirOwnRowAndText) {
    Letter source;
    source.StoreText("From: a@x.example\nTo: b@y.example\nSubject: copy me\n\nbody");
    source.SetTimeRetrieved(pt::time_from_string("2005-03-11 10:00:00"));
    source.SetDispatchCount(2);
    Letter copy(source);
    EXPECT_NE(copy.GetId(), source.GetId());
    EXPECT_FALSE(copy.IsPersistent());
    EXPECT_NE(copy.GetSourceHandle(), source.GetSourceHandle());
    EXPECT_EQ(copy.GetText(), source.GetText());
    EXPECT_EQ(Column(copy.GetId(), "subject"), "copy me");
    EXPECT_EQ(Column(copy.GetId(), "timeRetrieved"), Column(source.GetId(), "timeRetrieved"));
    EXPECT_EQ(Column(copy.GetId(), "dispatchCount"), "2");
    EXPECT_EQ(Column(copy.GetId(), "sourceHandle"), copy.GetSourceHandle());

    Letter empty;
    Letter emptyCopy(empty);
    EXPECT_EQ(ExecuteScalar(Format("SELECT sourceHandle = '' FROM Letter WHERE id = %1%;",
                                   emptyCopy.GetId())),
              1);
    EXPECT_EQ(emptyCopy.GetText(), "");
}

TEST_F(LetterTest, AVanishedTextFileReadsEmptyAndTheLetterCanStillBeDeleted) {
    const std::int64_t id = KeepLetter("Subject: gone soon\n\nbody");
    fs::remove(moxeltest::LetterStoreRoot() / Column(id, "sourceHandle"));
    {
        Letter letter(id);
        EXPECT_EQ(letter.GetText(), "");
        EXPECT_EQ(letter.GetSize(), 0u);
        EXPECT_EQ(letter.GetSubject(), "gone soon");
        // Writing again gives it a new file.
        letter.SetText("again");
        EXPECT_EQ(Letter(id).GetText(), "again");
        fs::remove(moxeltest::LetterStoreRoot() / letter.GetSourceHandle());
        letter.SetPersistent(false);
    }
    EXPECT_EQ(LetterRows(), 0);
}

TEST_F(LetterTest, DeletingRowsRemovesTheirTexts) {
    Letter a, b, c;
    a.SetText("a");
    b.SetText("b");
    c.SetText("c");
    for (Letter* letter : {&a, &b, &c}) {
        letter->SetPersistent(true);
    }
    b.SetCollectionId(7);
    c.SetCollectionId(7);
    LetterDataTable table;
    table.DeleteWhere("collectionId = 7");
    EXPECT_EQ(LetterRows(), 1);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
    EXPECT_EQ(a.GetText(), "a");
    table.Delete(a.GetId());
    table.Delete(a.GetId());
    EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    try {
        table.DeleteAll();
        FAIL() << "deleted everything";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Not implemented");
    }
}

TEST_F(LetterTest, AFullDiskFailsTheWriteAndLeavesTheDatabaseUnchanged) {
    Letter fresh;
    Letter stored;
    stored.StoreText("From: a@x.example\nSubject: old\n\nold body");
    const std::string before = moxeltest::ReadStoreFile(stored.GetSourceHandle());
    const std::string big = "From: b@y.example\nSubject: new\n\n" + std::string(1 << 20, 'n');
    {
        moxeltest::FileSizeLimit full(256 * 1024);
        for (Letter* letter : {&fresh, &stored}) {
            try {
                letter->StoreText(big);
                ADD_FAILURE() << "a write beyond the limit succeeded";
            } catch (const Exception& error) {
                EXPECT_EQ(
                    std::string(error.what())
                        .rfind("Error writing to file " + moxeltest::LetterStoreRoot().string(), 0),
                    0u)
                    << error.what();
            }
        }
    }
    EXPECT_EQ(Column(fresh.GetId(), "sourceHandle"), "");
    EXPECT_EQ(Column(fresh.GetId(), "sender"), "");
    EXPECT_EQ(Column(stored.GetId(), "subject"), "old");
    EXPECT_EQ(Column(stored.GetId(), "sender"), "a@x.example");
    EXPECT_EQ(stored.GetText(), "From: a@x.example\nSubject: old\n\nold body");
    EXPECT_EQ(moxeltest::ReadStoreFile(stored.GetSourceHandle()), before);
    EXPECT_EQ(moxeltest::CountStoreFiles(), 1);
}

TEST_F(LetterTest, AStoreThatCannotBeMadeFailsTheWriteAndLeavesTheDatabaseUnchanged) {
    std::ofstream(moxeltest::LetterStoreRoot()) << "a file where the store folder must go";
    Letter letter;
    try {
        letter.StoreText("From: a@x.example\n\nbody");
        FAIL() << "stored";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Internal error in HugeItemCollection::HugeItemCollection");
    }
    EXPECT_EQ(Column(letter.GetId(), "sourceHandle"), "");
    EXPECT_EQ(Column(letter.GetId(), "sender"), "");
    EXPECT_EQ(letter.GetText(), "");
}

}  // namespace

// A NUL byte in a header must neither fail the store (SQLite reads a statement only up to a NUL)
// nor reach the text file altered.
TEST_F(LetterTest, NulBytesInHeadersAreStoredAsReplacementCharacters) {
    const std::string nul("\0", 1);
    const std::string mark = "\xEF\xBF\xBD";
    struct Case {
        const char* label;
        std::string headers;
        std::string (LetterData::*field)() const;
        std::string expected;
    };
    const Case cases[] = {
        {"From", "From: a" + nul + "b@x.example\nTo: c@y.example\n", &LetterData::GetSender,
         "a" + mark + "b@x.example"},
        {"To", "From: a@x.example\nTo: c" + nul + "@y.example\n", &LetterData::GetRecipient,
         "c" + mark + "@y.example"},
        {"Subject", "From: a@x.example\nSubject: it's" + nul + "' here\n", &LetterData::GetSubject,
         "it's" + mark + "' here"},
        {"Return-Path", "Return-Path: <" + nul + ">\nFrom: a@x.example\n",
         &LetterData::GetReturnPath, "<" + mark + ">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string text = c.headers + "\nbody" + nul + "text\n";
        const std::int64_t id = KeepLetter(text);
        const Letter stored(id);
        EXPECT_EQ((stored.*c.field)(), c.expected);
        EXPECT_EQ(moxeltest::ReadStoreFile(stored.GetSourceHandle()), text);
    }
    // A text compared after storing is found the same way.
    PersistentStringCollection ids;
    ids.Add("uid" + nul + "1");
    EXPECT_TRUE(ids.Contains("uid" + nul + "1"));
    EXPECT_FALSE(ids.Contains("uid"));
    // Nothing else can slip a NUL into a statement.
    EXPECT_THROW(ExecuteScalar("SELECT 2;"s + nul + "DELETE FROM Letter;"), Exception);
}

// A deleted letter's text goes only once the deletion is committed; a deletion undone by a
// rollback (of its own scope or of one around it) brings the row back with its text.
TEST_F(LetterTest, TextsOfDeletedRowsGoOnlyWithTheOutermostCommit) {
    struct Case {
        const char* label;
        bool innerFails;
        bool outerFails;
        bool textRemains;
    };
    const Case cases[] = {
        {"both scopes commit", false, false, false},
        {"inner scope undone, outer commits", true, false, true},
        {"inner scope kept, outer undone", false, true, true},
    };
    // As the program keeps its database (the fixture's fresh file may not be set up so yet).
    ExecuteStatement("PRAGMA journal_mode=WAL;");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::int64_t id = KeepLetter("From: a@x.example\n\nbody");
        const std::string handle = Letter(id).GetSourceHandle();
        moxeltest::SyncRecorder syncs;
        try {
            Transaction outer;
            try {
                Transaction inner;
                LetterDataTable().Delete(id);
                // Until the commit the text is still there for the row that may come back.
                EXPECT_EQ(moxeltest::ReadStoreFile(handle), "From: a@x.example\n\nbody");
                if (c.innerFails) {
                    throw Exception("inner");
                }
            } catch (const Exception& error) {
                EXPECT_STREQ(error.what(), "inner");
            }
            if (c.outerFails) {
                throw Exception("outer");
            }
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "outer");
        }
        EXPECT_EQ(LetterDataTable().Exists(id), c.textRemains);
        EXPECT_EQ(fs::exists(moxeltest::LetterStoreRoot() / handle), c.textRemains);
        // A text goes only once the deletion of its row is on the disk.
        const auto synced = syncs.Paths();
        fs::path log = GetDatabasePath();
        log += "-wal";
        EXPECT_EQ(std::count(synced.begin(), synced.end(), fs::weakly_canonical(log).string()),
                  c.textRemains ? 0 : 1);
        if (c.textRemains) {
            EXPECT_EQ(Letter(id).GetText(), "From: a@x.example\n\nbody");
            LetterDataTable().Delete(id);
        }
        EXPECT_EQ(moxeltest::CountStoreFiles(), 0);
    }
}
