// The search for servers on the local network: a LAN party's servers, which
// no master lists, answer a status request sent to the broadcast address of
// the network they share with the player, as the game's own menu finds them.
#pragma once

#include <windows.h>

// One IPv4 network the machine is on; both in network byte order.
struct LocalNetwork {
    DWORD broadcast;
    DWORD mask;
};

const int MaxLocalNetworks = 8;

// The game's own ports: a LAN server listens on one of them.
const WORD FirstLocalPort = 27910;
const int LocalPortCount = 10;

// Each update broadcasts twice, a second apart, and listens this long after
// the second round: a LAN server answers within milliseconds.
const int LocalRounds = 2;
const DWORD LocalRoundSpacing = 1000;
const DWORD LocalListenMilliseconds = 500;

// At most this many servers join a table through the search, whatever a
// network sends.
const int MaxLocalServers = 256;

// The networks to broadcast to, at most `capacity`; 0 for none. The machine's
// own networks, unless the build (its lab copy) or a test chooses others.
extern int (*FindLocalNetworks)(LocalNetwork* networks, int capacity);

// Every IPv4 network of the machine's adapters that can broadcast, from the
// system's address table; the limited broadcast address where none is known.
int FindMachineNetworks(LocalNetwork* networks, int capacity);

// Whether an address may answer a broadcast to this network: it lies in it.
bool InLocalNetwork(const LocalNetwork& network, DWORD address);
