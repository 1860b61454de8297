// The count of servers that have not answered.
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
