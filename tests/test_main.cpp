// Entry of every test program: sets up what the application's entry and its
// main window would before the first update.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "engine/local_network.h"
#include "engine/master_update.h"
#include "engine/server_table.h"

namespace {

// No test broadcasts: those that search a local network name their own.
int NoLocalNetwork(LocalNetwork*, int)
{
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    FindLocalNetworks = NoLocalNetwork;
    InitializeCriticalSection(&TableLock);
    AbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WSADATA winsock;
    WSAStartup(MAKEWORD(1, 1), &winsock);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
