// The stored dispatch point: what a new row holds, its rebuilding through the type registry, and
// settings read at the moment of the call.
#include "DispatchTest.h"
#include "database/ThreadDatabase.h"
#include "database/TypeRegistry.h"
#include "database/tables/DispatchPointDataTable.h"
#include "support/LetterBoxContents.h"

namespace dispatchtest {
namespace {

using moxeltest::RowCount;

TEST_F(DispatchTest, ANewPointOwnsANewBoxAndIsRebuiltFromItsRowWithLiveSettings) {
    const auto id = point->GetData().GetId();
    EXPECT_EQ(DatabaseLayer::ExecuteScalar(Format(
                  "SELECT COUNT(*) FROM DispatchPoint WHERE id = %1% AND type = 1 AND "
                  "authorizationEnabled = 0 AND authorizationMethod = 1 AND "
                  "lettersToDispatchBoxId = %2% AND smtpServerAddress = '' AND password = '';",
                  id, point->GetLetterBox().GetId())),
              1);
    EXPECT_FALSE(point->IsAuthorizationEnabled());
    EXPECT_EQ(point->GetAuthorizationMethod(), 1);

    const auto rebuilt = DatabaseLayer::TypeRegistry<DispatchPoint>::CreateFromTable(
        DatabaseLayer::DispatchPointDataTable(), id);
    auto& other = dynamic_cast<TarnwellSmtpDispatchPoint&>(*rebuilt);
    EXPECT_EQ(other.GetLetterBox().GetId(), point->GetLetterBox().GetId());
    // A change through one object is what the other reads next.
    point->SetSmtpServerAddress("smtp.example.com:587");
    point->SetAuthorizationEnabled(true);
    point->SetAuthorizationMethod(2);
    point->SetUserName("user'); DROP TABLE Letter; --");
    point->SetPassword("pass");
    point->SetPopServer("pop.example.com");
    point->SetPopUserName("popuser");
    point->SetPopPassword("poppass");
    EXPECT_EQ(other.GetSmtpServerAddress(), "smtp.example.com:587");
    EXPECT_TRUE(other.IsAuthorizationEnabled());
    EXPECT_EQ(other.GetAuthorizationMethod(), 2);
    EXPECT_EQ(other.GetUserName(), "user'); DROP TABLE Letter; --");
    EXPECT_EQ(other.GetPassword(), "pass");
    EXPECT_EQ(other.GetPopServer(), "pop.example.com");
    EXPECT_EQ(other.GetPopUserName(), "popuser");
    EXPECT_EQ(other.GetPopPassword(), "poppass");
    // Any stored value but 0 is enabled.
    DatabaseLayer::ExecuteStatement(
        Format("UPDATE DispatchPoint SET authorizationEnabled = 7 WHERE id = %1%;", id));
    EXPECT_TRUE(other.IsAuthorizationEnabled());
}

TEST_F(DispatchTest, APointNotKeptTakesItsBoxAndLettersWithIt) {
    const int points = RowCount("DispatchPoint");
    const int boxes = RowCount("LetterCollection");
    const int letters = RowCount("Letter");
    {
        TarnwellSmtpDispatchPoint passing;
        LetterBoxLock lock(passing.GetLetterBox());
        passing.GetLetterBox().MoveLetterHere(
            std::make_shared<Letter>(kMe, kFriend, "gone", "text", "<>"));
    }
    EXPECT_EQ(RowCount("DispatchPoint"), points);
    EXPECT_EQ(RowCount("LetterCollection"), boxes);
    EXPECT_EQ(RowCount("Letter"), letters);
}

}  // namespace
}  // namespace dispatchtest
