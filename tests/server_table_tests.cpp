// The count of servers that have not answered.
#include <gtest/gtest.h>

#include <vector>

#include "engine/key_set.h"
#include "engine/server_table.h"

namespace {

class CountUnansweredTest : public testing::Test {
protected:
    void TearDown() override { ServerTable = {}; }
};

TEST_F(CountUnansweredTest, EmptyTableHasNone)
{
    ServerTable = {nullptr, 0};
    EXPECT_EQ(CountUnanswered(), 0);

    std::vector<ServerRecord> records(3);
    ServerTable = {records.data(), 0};
    EXPECT_EQ(CountUnanswered(), 0);
    ServerTable.count = -4;
    EXPECT_EQ(CountUnanswered(), 0);
}

TEST_F(CountUnansweredTest, CountsOnlyUnansweredRecordsWithinCount)
{
    std::vector<ServerRecord> records(5);
    records[0].responded = 1;
    records[2].responded = 1;
    records[4].responded = 0;  // beyond count: not part of the table
    ServerTable = {records.data(), 4};
    EXPECT_EQ(CountUnanswered(), 2);
    EXPECT_EQ(CountUnansweredLocked(), 2);

    records[1].responded = 1;
    records[3].responded = 1;
    EXPECT_EQ(CountUnanswered(), 0);
}

// Keys that differ in either word are distinct, however many the set grows
// to hold; a key added again is found.
TEST(KeySet, KeepsEachKeyOnceAsItGrows)
{
    KeySet set = {};
    for (ULONGLONG key = 0; key < 5000; key++) {
        ASSERT_EQ(AddKey(&set, SetKey{key % 7, key}), 1) << key;
        ASSERT_EQ(AddKey(&set, SetKey{key % 7 + 1, key}), 1) << key;
    }
    for (ULONGLONG key = 0; key < 5000; key += 499)
        EXPECT_EQ(AddKey(&set, SetKey{key % 7, key}), 0) << key;
    EXPECT_EQ(set.used, 10000u);
    ReleaseKeys(&set);
}

}  // namespace
