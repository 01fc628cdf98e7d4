#include <gtest/gtest.h>

#include "netframe/ClientTable.h"

namespace {

struct Record {
    int value;
};

TEST(ClientTableTest, HoldsTwoHundredFiftySixRecordsAndReusesFreedSlots) {
    netframe::ClientTable<Record> table;
    std::lock_guard lock(table.Mutex());
    for (int i = 0; i < netframe::kClientSlots; ++i) {
        const int slot = table.FindFreeSlotLocked();
        ASSERT_EQ(slot, i);
        table.StoreLocked(slot, std::make_shared<Record>(Record{i * 10}));
    }
    EXPECT_EQ(table.FindFreeSlotLocked(), -1) << "a 257th record has no slot";
    EXPECT_EQ(table.highestUsed, 255);

    const auto taken = table.TakeLocked(17);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->value, 170);
    EXPECT_EQ(table.AtLocked(17), nullptr);
    EXPECT_EQ(table.FindFreeSlotLocked(), 17);
}

TEST(ClientTableTest, FindsRecordsUpToTheHighestSlotEverUsed) {
    netframe::ClientTable<Record> table;
    std::lock_guard lock(table.Mutex());
    table.StoreLocked(0, std::make_shared<Record>(Record{1}));
    table.StoreLocked(5, std::make_shared<Record>(Record{2}));
    EXPECT_EQ(table.highestUsed, 5);
    EXPECT_EQ(table.FindSlotLocked([](const Record& r) { return r.value == 2; }), 5);
    EXPECT_EQ(table.FindLocked([](const Record& r) { return r.value == 3; }), nullptr);

    table.TakeLocked(5);
    EXPECT_EQ(table.highestUsed, 5) << "the mark stays where it was";
    EXPECT_EQ(table.FindSlotLocked([](const Record& r) { return r.value == 2; }), -1);
    EXPECT_EQ(table.AtLocked(-1), nullptr);
    EXPECT_EQ(table.AtLocked(netframe::kClientSlots), nullptr);
}

TEST(ClientTableTest, ARecordLooksUpOutlivesItsSlot) {
    netframe::ClientTable<Record> table;
    std::shared_ptr<Record> held;
    {
        std::lock_guard lock(table.Mutex());
        table.StoreLocked(0, std::make_shared<Record>(Record{42}));
        held = table.AtLocked(0);
        table.TakeLocked(0);
    }
    EXPECT_EQ(held->value, 42);
}

}  // namespace
