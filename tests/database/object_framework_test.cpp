#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/Format.h"
#include "database/CopyableObjectData.h"
#include "database/ObjectDataCollection.h"
#include "database/Schema.h"
#include "database/ThreadDatabase.h"
#include "database/TypeRegistry.h"
#include "database/tables/AppPropertyTable.h"
#include "database/tables/PersistentStringTable.h"
#include "database/tables/PopClientDataTable.h"
#include "support/DatabaseFixture.h"
#include "support/ExpectedTables.h"

using namespace DatabaseLayer;

namespace {

// Small row classes over the real tables, built the way the program's own rows are.
class Text : public CopyableObjectData<PersistentStringTable> {
public:
    using CopyableObjectData::CopyableObjectData;
    explicit Text(const std::string& value) { SetStringField("string", value); }
    std::string Value() const { return GetStringField("string"); }
};
using TextCollection = ObjectDataCollection<Text>;

class Setting : public CopyableObjectData<AppPropertyTable> {
public:
    using CopyableObjectData::CopyableObjectData;
    Setting(const std::string& name, const std::string& value) {
        SetStringField("name", name);
        SetStringField("value", value);
    }
};
using SettingCollection = ObjectDataCollection<Setting>;

class Client : public ObjectData<PopClientDataTable> {
public:
    using ObjectData::ObjectData;
    virtual ~Client() = default;
    virtual std::string Kind() const = 0;
};
class RemoteClient : public Client {
public:
    using Client::Client;
    std::string Kind() const override { return "remote"; }
};

int Rows(const std::string& table, const std::string& condition = "1") {
    return ExecuteScalar(Format("SELECT COUNT(*) FROM %1% WHERE %2%;", table, condition));
}

using ObjectFrameworkTest = moxeltest::DatabaseTest;

TEST_F(ObjectFrameworkTest, TextsWithQuotesAndSpecialCharactersRoundTrip) {
    const std::vector<std::string> values = {
        "O'Neil@example.com",           "''", "100% \\n %1% \"quoted\"", "Grüße, 日本語",
        std::string(100000, 'x') + "'",
    };
    for (const auto& value : values) {
        SCOPED_TRACE(value.substr(0, 40));
        Text text(value);
        text.SetPersistent(true);
        EXPECT_EQ(Text(text.GetId()).Value(), value);
    }
}

TEST_F(ObjectFrameworkTest, NewRowLivesOnlyWhileItsObjectDoesUnlessMadePersistent) {
    std::int64_t dropped = 0;
    std::int64_t kept = 0;
    {
        Text temporary("temporary");
        dropped = temporary.GetId();
        EXPECT_TRUE(PersistentStringTable().Exists(dropped));
        Text keeper("keeper");
        keeper.SetPersistent(true);
        kept = keeper.GetId();
    }
    EXPECT_FALSE(PersistentStringTable().Exists(dropped));
    EXPECT_TRUE(PersistentStringTable().Exists(kept));
    // Opening an existing row never deletes it.
    { Text reopened(kept); }
    EXPECT_TRUE(PersistentStringTable().Exists(kept));
}

TEST_F(ObjectFrameworkTest, FieldsOfMissingRowsAndNullsReadEmpty) {
    const PersistentStringTable table;
    EXPECT_EQ(table.GetField(4711, "string"), "");
    ExecuteStatement("INSERT INTO String (string) VALUES (NULL);");
    EXPECT_EQ(table.GetField(GetLastInsertId(), "string"), "");
    EXPECT_EQ(table.GetInt64Field(4711, "collectionId"), 0);
}

TEST_F(ObjectFrameworkTest, TypedFieldsStoreNumbersBare) {
    Text text("n");
    text.SetInt64Field("collectionId", 9000000000LL);
    EXPECT_EQ(text.GetInt64Field("collectionId"), 9000000000LL);
    text.SetIntField("collectionId", -1);
    EXPECT_EQ(text.GetIntField("collectionId"), -1);
    EXPECT_EQ(Rows("String", "typeof(collectionId) = 'integer'"), 1);
}

TEST_F(ObjectFrameworkTest, CopyIsANewRowWithTheSameValuesAndNotPersistent) {
    Text original("copied 'value'");
    original.SetPersistent(true);
    std::int64_t copyId = 0;
    {
        Text copy(original);
        copyId = copy.GetId();
        EXPECT_NE(copyId, original.GetId());
        EXPECT_EQ(copy.Value(), "copied 'value'");
        EXPECT_FALSE(copy.IsPersistent());
    }
    EXPECT_FALSE(PersistentStringTable().Exists(copyId));
    EXPECT_EQ(original.Value(), "copied 'value'");
}

TEST_F(ObjectFrameworkTest, AddingToACollectionKeepsExactlyOneCopy) {
    TextCollection collection;
    collection.SetPersistent(true);
    std::int64_t firstId = 0;
    {
        Text element("member");
        firstId = element.GetId();
        collection.AddToCollection(element);
        EXPECT_EQ(Rows("String"), 2);
    }
    EXPECT_FALSE(PersistentStringTable().Exists(firstId));
    const auto ids = collection.GetElementIds();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(Text(ids[0]).Value(), "member");
    EXPECT_EQ(collection.GetElementCount(), 1);
    EXPECT_EQ(Rows("String", Format("collectionId = %1%", collection.GetId())), 1);
}

TEST_F(ObjectFrameworkTest, SettingCopyTakesNameAndValueOnly) {
    SettingCollection settings;
    settings.SetPersistent(true);
    settings.AddToCollection(Setting("PopPort", "1110"));
    ASSERT_EQ(settings.GetElementCount(), 1);
    const auto id = settings.GetElementIds().front();
    EXPECT_EQ(AppPropertyTable().GetField(id, "name"), "PopPort");
    EXPECT_EQ(AppPropertyTable().GetField(id, "value"), "1110");
    EXPECT_EQ(Rows("AppProperty"), 1);
}

TEST_F(ObjectFrameworkTest, DestroyingACollectionRemovesElementsOnlyWhenNotPersistent) {
    std::int64_t droppedId = 0;
    std::int64_t keptId = 0;
    {
        TextCollection dropped;
        droppedId = dropped.GetId();
        dropped.AddToCollection(Text("a"));
        dropped.AddToCollection(Text("b"));
        TextCollection kept;
        kept.SetPersistent(true);
        keptId = kept.GetId();
        kept.AddToCollection(Text("c"));
    }
    EXPECT_EQ(Rows("String", Format("collectionId = %1%", droppedId)), 0);
    EXPECT_EQ(Rows("StringCollection", Format("id = %1%", droppedId)), 0);
    EXPECT_EQ(Rows("String", Format("collectionId = %1%", keptId)), 1);
    EXPECT_EQ(Rows("StringCollection", Format("id = %1%", keptId)), 1);
}

TEST_F(ObjectFrameworkTest, TypeRegistryBuildsRegisteredTypesAndRefusesOthers) {
    TypeRegistry<Client>::Register(
        1, [](std::int64_t id) { return std::make_shared<RemoteClient>(id); });
    const PopClientDataTable table;
    const auto known = table.Insert();
    table.SetField(known, "type", "1", false);
    const auto unknown = table.Insert();
    table.SetField(unknown, "type", "77", false);

    const auto client = TypeRegistry<Client>::CreateFromTable(table, known);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->Kind(), "remote");
    EXPECT_EQ(client->GetId(), known);
    try {
        TypeRegistry<Client>::CreateFromTable(table, unknown);
        FAIL() << "type 77 is not registered";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Unsupported object type");
    }
}

TEST_F(ObjectFrameworkTest, AllTablesExistInTheirOrderAndCreatingAgainChangesNothing) {
    const auto& expected = moxeltest::ExpectedTables();
    auto readTables = [] {
        std::vector<std::string> names;
        for (auto row = ExecuteQuery(
                 "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid;");
             !row.AtEnd(); row.NextRow()) {
            names.push_back(row.GetStringField("name"));
        }
        return names;
    };
    EXPECT_EQ(readTables(), expected);

    Text text("survivor");
    text.SetPersistent(true);
    CreateAllTables();
    EXPECT_EQ(readTables(), expected);
    EXPECT_EQ(Text(text.GetId()).Value(), "survivor");
}

TEST_F(ObjectFrameworkTest, NewRowsGetTheirTableDefaults) {
    const PopClientDataTable clients;
    const auto id = clients.Insert();
    EXPECT_EQ(clients.GetField(id, "port"), "110");
    EXPECT_EQ(clients.GetField(id, "timeoutInSeconds"), "30");
    EXPECT_EQ(clients.GetField(id, "type"), "0");
}

}  // namespace
