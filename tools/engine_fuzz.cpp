// engine_fuzz <status datagrams> <master replies> <seed>: runs seeded random
// and mutated status datagrams through the parser and master replies through
// the table rebuild, with the checks of the default suite's robustness tests
// (guard page, guard bytes, heap checks), and prints the figures. Run by
// scripts/robustness fuzz.
#include <windows.h>

#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "engine/master_update.h"
#include "tests/fuzz_inputs.h"
#include "tests/window_ops_recorder.h"

namespace {

const int HeapCheckInterval = 10000;

bool HeapsSound()
{
    return _heapchk() == _HEAPOK && HeapValidate(GetProcessHeap(), 0, nullptr);
}

bool FuzzParser(int count, unsigned seed)
{
    InputGenerator generator(seed);
    FencedBytes fence(DatagramLimit);
    GuardedRecord* guarded = new GuardedRecord;
    ServerTable = {&guarded->record, 1};
    long long bytes = 0;
    long long players = 0;
    DWORD start = GetTickCount();
    for (int iteration = 0; iteration < count; iteration++) {
        std::string datagram = generator.NextDatagram();
        std::string fault = ParseGuarded(fence.Place(datagram), static_cast<int>(datagram.size()), guarded);
        if (!fault.empty() || (iteration % HeapCheckInterval == 0 && !HeapsSound())) {
            printf("status datagram %d: %s\n", iteration, fault.empty() ? "heap damaged" : fault.c_str());
            return false;
        }
        bytes += datagram.size();
        players += guarded->record.playerCount;
        ClearWindowCalls();
    }
    ServerTable = {};
    delete guarded;
    printf("status datagrams: %d (%lld bytes, %lld players parsed) in %lu ms\n", count, bytes, players,
           GetTickCount() - start);
    fflush(stdout);
    return HeapsSound();
}

bool FuzzMasterList(int count, unsigned seed)
{
    InputGenerator generator(seed);
    FencedBytes fence(MasterReplyLimit);
    long long bytes = 0;
    long long servers = 0;
    DWORD start = GetTickCount();
    for (int iteration = 0; iteration < count; iteration++) {
        std::string reply = generator.NextMasterReply();
        int previousCount = ServerTable.count;
        ServerTable.count = 0;
        bool rebuilt = RebuildServerTable(reinterpret_cast<const unsigned char*>(fence.Place(reply)),
                                          static_cast<int>(reply.size()), previousCount);
        std::string fault = rebuilt ? TableFault(reply) : "not rebuilt";
        if (!fault.empty() || (iteration % HeapCheckInterval == 0 && !HeapsSound())) {
            printf("master reply %d (%u bytes): %s\n", iteration, static_cast<unsigned>(reply.size()),
                   fault.empty() ? "heap damaged" : fault.c_str());
            return false;
        }
        bytes += reply.size();
        servers += ServerTable.count;
        ClearWindowCalls();
    }
    printf("master replies: %d (%lld bytes, %lld servers kept) in %lu ms\n", count, bytes, servers,
           GetTickCount() - start);
    fflush(stdout);
    return HeapsSound();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: engine_fuzz <status datagrams> <master replies> <seed>\n");
        return 2;
    }
    unsigned seed = static_cast<unsigned>(strtoul(argv[3], nullptr, 10));
    bool sound = FuzzParser(atoi(argv[1]), seed) && FuzzMasterList(atoi(argv[2]), seed + 1);
    printf(sound ? "engine fuzz passed\n" : "engine fuzz FAILED\n");
    return sound ? 0 : 1;
}
