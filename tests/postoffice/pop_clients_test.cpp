#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "database/LetterData.h"
#include "database/TypeRegistry.h"
#include "database/tables/PopClientDataTable.h"
#include "postoffice/LetterDistributor.h"
#include "postoffice/PlaceholderPopClient.h"
#include "postoffice/PopClient.h"
#include "support/DatabaseFixture.h"
#include "support/ErrorOf.h"
#include "support/LetterBoxContents.h"

using DatabaseLayer::PopClientDataTable;
using DatabaseLayer::TypeRegistry;
using moxeltest::ErrorOf;

namespace {

using PopClientTest = moxeltest::DatabaseTest;

TEST_F(PopClientTest, APlaceholderKeepsTheAccountButHasNoMailAndNoNetwork) {
    PlaceholderPopClient placeholder("mail.example.org", "o'neil", "pass word", 995, 12);
    placeholder.GetData().SetPersistent(true);
    const std::int64_t id = placeholder.GetData().GetId();

    // Connecting and disconnecting succeed without a server (the host does not exist).
    placeholder.Connect();
    EXPECT_EQ(placeholder.GetMessageCount(), 0);
    placeholder.Disconnect();
    placeholder.Disconnect();

    Letter letter;
    EXPECT_EQ(ErrorOf([&] { placeholder.GetMessage(0, letter); }), "Not supported");
    EXPECT_EQ(ErrorOf([&] { placeholder.DeleteAllMessages(); }), "Not supported");
    EXPECT_EQ(ErrorOf([&] { placeholder.GetMessageId(0); }), "Not supported");

    placeholder.SetPassword("changed");
    const auto loaded = TypeRegistry<PopClient>::CreateFromTable(PopClientDataTable(), id);
    ASSERT_NE(std::dynamic_pointer_cast<PlaceholderPopClient>(loaded), nullptr);
    EXPECT_EQ(loaded->GetData().GetType(), 2);
    EXPECT_EQ(loaded->GetHostName(), "mail.example.org");
    EXPECT_EQ(loaded->GetUserName(), "o'neil");
    EXPECT_EQ(loaded->GetPassword(), "changed");
    EXPECT_EQ(loaded->GetData().GetPort(), 995);
    EXPECT_EQ(loaded->GetData().GetTimeoutInSeconds(), 12);
}

TEST_F(PopClientTest, AClientRowThatIsNotKeptIsDeletedWithItsObject) {
    const int before = moxeltest::RowCount("PopClient");
    {
        PlaceholderPopClient placeholder("h", "u", "", 110, 30);
        EXPECT_EQ(moxeltest::RowCount("PopClient"), before + 1);
    }
    EXPECT_EQ(moxeltest::RowCount("PopClient"), before);
}

TEST_F(PopClientTest, TheAbstractBasesHaveNoRow) {
    struct NoClient : PopClient {
        void Connect() override {}
        int GetMessageCount() override { return 0; }
        void GetMessage(int, Letter&) override {}
        void DeleteAllMessages() override {}
        void Disconnect() override {}
        std::string GetMessageId(int) override { return {}; }
    } client;
    EXPECT_EQ(ErrorOf([&] { client.GetData(); }), "Not supported");
    EXPECT_EQ(ErrorOf([&] { client.GetHostName(); }), "Not supported");

    struct NoDistributor : LetterDistributor {
        void Distribute(LetterBox&, const Clock&) override {}
    } distributor;
    EXPECT_EQ(ErrorOf([&] { distributor.GetData(); }), "Not supported.");
}

}  // namespace
