// What the build points the program at: the master server's host name, and
// the local network it searches. The lab copy searches this machine's
// loopback address alone, so that no demonstration or test broadcasts.
#include <winsock2.h>

#include "engine/local_network.h"
#include "engine/master_update.h"

const wchar_t* MasterHostName = L"" MASTER_HOST_TEXT;

#ifdef LAB_LOCAL_NETWORK
namespace {

int FindLabNetwork(LocalNetwork* networks, int capacity)
{
    if (capacity <= 0)
        return 0;
    networks[0] = {htonl(INADDR_LOOPBACK), 0xFFFFFFFF};
    return 1;
}

}  // namespace

int (*FindLocalNetworks)(LocalNetwork* networks, int capacity) = FindLabNetwork;
#else
int (*FindLocalNetworks)(LocalNetwork* networks, int capacity) = FindMachineNetworks;
#endif
