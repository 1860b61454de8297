// Hostile and broken input: seeded runs of random and mutated status
// datagrams through the parser and master replies through the table rebuild,
// checking after each that what the engine made is sound. scripts/robustness
// runs the same at a larger scale (engine_fuzz.exe).
#include <gtest/gtest.h>

#include <malloc.h>

#include "engine/master_update.h"
#include "tests/fuzz_inputs.h"
#include "tests/window_ops_recorder.h"

namespace {

TEST(ParserRobustness, RandomAndMutatedDatagramsLeaveSoundRecords)
{
    const int iterations = 100000;
    InputGenerator generator(20261207);
    FencedBytes fence(DatagramLimit);
    GuardedRecord* guarded = new GuardedRecord;
    ServerTable = {&guarded->record, 1};

    int playersSeen = 0;
    for (int iteration = 0; iteration < iterations; iteration++) {
        std::string datagram = generator.NextDatagram();
        std::string fault = ParseGuarded(fence.Place(datagram), static_cast<int>(datagram.size()), guarded);
        ASSERT_EQ(fault, "") << "datagram " << iteration;
        playersSeen += guarded->record.playerCount;
        ClearWindowCalls();
    }
    EXPECT_EQ(_heapchk(), _HEAPOK);
    // The generator must reach the player code, not only the info line.
    EXPECT_GT(playersSeen, iterations);
    ServerTable = {};
    delete guarded;
}

TEST(ParserRobustness, RandomAndMutatedMasterRepliesBuildSoundTables)
{
    InputGenerator generator(20261208);
    FencedBytes fence(MasterReplyLimit);
    for (int iteration = 0; iteration < 1000; iteration++) {
        std::string reply = generator.NextMasterReply();
        int previousCount = ServerTable.count;
        ServerTable.count = 0;
        ASSERT_TRUE(RebuildServerTable(reinterpret_cast<const unsigned char*>(fence.Place(reply)),
                                       static_cast<int>(reply.size()), previousCount));
        ASSERT_EQ(TableFault(reply), "") << "reply " << iteration << " of " << reply.size() << " bytes";
    }
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
    HeapFree(GetProcessHeap(), 0, ServerTable.records);
    ServerTable = {};
}

}  // namespace
