// The networks the machine is on, for the search for servers on them.
#include <winsock2.h>

#include "engine/local_network.h"

#include <iphlpapi.h>
#include <stdlib.h>

namespace {

bool IsLoopback(DWORD address)
{
    return (ntohl(address) >> 24) == 127;
}

// A network of one address (a point-to-point link) has no broadcast.
bool CanBroadcast(const MIB_IPADDRROW& row)
{
    return row.dwAddr != 0 && !IsLoopback(row.dwAddr) && row.dwMask != 0xFFFFFFFF;
}

bool Listed(const LocalNetwork* networks, int count, DWORD broadcast)
{
    for (int index = 0; index < count; index++) {
        if (networks[index].broadcast == broadcast)
            return true;
    }
    return false;
}

int ReadAddressTable(LocalNetwork* networks, int capacity)
{
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return 0;
    MIB_IPADDRTABLE* table = static_cast<MIB_IPADDRTABLE*>(malloc(size));
    int count = 0;
    if (table != nullptr && GetIpAddrTable(table, &size, FALSE) == NO_ERROR) {
        for (DWORD index = 0; index < table->dwNumEntries && count < capacity; index++) {
            const MIB_IPADDRROW& row = table->table[index];
            DWORD broadcast = row.dwAddr | ~row.dwMask;
            if (CanBroadcast(row) && !Listed(networks, count, broadcast))
                networks[count++] = {broadcast, row.dwMask};
        }
    }
    free(table);
    return count;
}

}  // namespace

int FindMachineNetworks(LocalNetwork* networks, int capacity)
{
    if (capacity <= 0)
        return 0;
    int count = ReadAddressTable(networks, capacity);
    if (count > 0)
        return count;
    networks[0] = {INADDR_BROADCAST, 0};
    return 1;
}

bool InLocalNetwork(const LocalNetwork& network, DWORD address)
{
    return (address & network.mask) == (network.broadcast & network.mask);
}
