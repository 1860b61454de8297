// One update's search for servers on the local network: the status request
// broadcast on the game's ports to every network the machine is on, in two
// rounds a second apart, paced as the sweep's own requests are; and which
// broadcast an answer answered.
#pragma once

#include <winsock2.h>

#include "engine/local_network.h"

struct LocalSearch {
    LocalNetwork networks[MaxLocalNetworks];
    int networkCount;  // 0: no search
    bool refused[MaxLocalNetworks];  // the system refused a broadcast there
    // When each broadcast went out; 0 while not sent.
    DWORD sentAt[LocalRounds][MaxLocalNetworks][LocalPortCount];
    int next;  // the next broadcast, counted over rounds, networks and ports
    DWORD firstSentAt;
    DWORD lastSentAt;
    int found;  // servers that joined the table by answering one
};

// Finds the networks and lets the socket broadcast; without either, the
// search is off and costs nothing.
void OpenLocalSearch(LocalSearch* search, SOCKET socket, bool wanted);

// Sends the next broadcast once its round is due; true when one went out. A
// broadcast the system refuses costs nothing, and its network is not tried
// again. The caller holds the TableLock, under which answers are matched.
bool SendDueBroadcast(LocalSearch* search, SOCKET socket);

// Every broadcast is sent (or refused) and its answers have had their time.
bool LocalSearchOver(const LocalSearch& search);

// Milliseconds until the next broadcast is due or the listening ends.
DWORD LocalSearchWait(const LocalSearch& search);

// When the broadcast an answer from this address and port answered went out:
// the latest one sent to that port, on a network that holds the address,
// before the answer arrived; 0 when no broadcast asked it.
DWORD BroadcastAnswered(const LocalSearch& search, DWORD address, WORD port, DWORD arrivedAt);
