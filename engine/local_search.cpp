// One update's search for servers on the local network.
#include "engine/local_search.h"

#include <mmsystem.h>

#include "engine/status_sweep.h"
#include "engine/window_ops.h"

namespace {

int BroadcastCount(const LocalSearch& search)
{
    return LocalRounds * search.networkCount * LocalPortCount;
}

int RoundOf(const LocalSearch& search, int broadcast)
{
    return broadcast / (search.networkCount * LocalPortCount);
}

// The first round is due at once, each later one a spacing after the first.
bool RoundDue(const LocalSearch& search, int round, DWORD now)
{
    return round == 0 || now - search.firstSentAt >= round * LocalRoundSpacing;
}

bool AllRefused(const LocalSearch& search)
{
    for (int network = 0; network < search.networkCount; network++) {
        if (!search.refused[network])
            return false;
    }
    return true;
}

bool Send(SOCKET socket, DWORD address, WORD port)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = address;
    destination.sin_port = htons(port);
    return sendto(socket, StatusRequest, StatusRequestSize, 0, reinterpret_cast<const sockaddr*>(&destination),
                  sizeof(destination)) != SOCKET_ERROR;
}

}  // namespace

void OpenLocalSearch(LocalSearch* search, SOCKET socket, bool wanted)
{
    *search = {};
    if (!wanted)
        return;
    BOOL broadcast = TRUE;
    if (setsockopt(socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&broadcast),
                   sizeof(broadcast)) != 0)
        return;
    int found = FindLocalNetworks(search->networks, MaxLocalNetworks);
    search->networkCount = found < 0 ? 0 : (found > MaxLocalNetworks ? MaxLocalNetworks : found);
}

bool SendDueBroadcast(LocalSearch* search, SOCKET socket)
{
    DWORD now = timeGetTime();
    for (; search->next < BroadcastCount(*search) && !AllRefused(*search); search->next++) {
        int round = RoundOf(*search, search->next);
        if (!RoundDue(*search, round, now))
            return false;
        int network = search->next / LocalPortCount % search->networkCount;
        int port = search->next % LocalPortCount;
        if (search->refused[network])
            continue;
        if (search->next % (search->networkCount * LocalPortCount) == 0)
            StatusMessage(L"Looking for servers on the local network...");
        DWORD sentAt = timeGetTime();
        if (!Send(socket, search->networks[network].broadcast, static_cast<WORD>(FirstLocalPort + port))) {
            search->refused[network] = true;
            continue;
        }
        // 0 means "not sent".
        search->sentAt[round][network][port] = sentAt != 0 ? sentAt : 1;
        if (search->firstSentAt == 0)
            search->firstSentAt = sentAt;
        search->lastSentAt = sentAt;
        search->next++;
        return true;
    }
    return false;
}

bool LocalSearchOver(const LocalSearch& search)
{
    if (search.next < BroadcastCount(search) && !AllRefused(search))
        return false;
    return search.lastSentAt == 0 || timeGetTime() - search.lastSentAt >= LocalListenMilliseconds;
}

DWORD LocalSearchWait(const LocalSearch& search)
{
    DWORD now = timeGetTime();
    DWORD due;
    if (search.next < BroadcastCount(search) && !AllRefused(search))
        due = search.firstSentAt + RoundOf(search, search.next) * LocalRoundSpacing;
    else
        due = search.lastSentAt + LocalListenMilliseconds;
    LONG left = static_cast<LONG>(due - now);
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

DWORD BroadcastAnswered(const LocalSearch& search, DWORD address, WORD port, DWORD arrivedAt)
{
    if (port < FirstLocalPort || port >= FirstLocalPort + LocalPortCount)
        return 0;
    DWORD latest = 0;
    for (int network = 0; network < search.networkCount; network++) {
        if (!InLocalNetwork(search.networks[network], address))
            continue;
        for (int round = 0; round < LocalRounds; round++) {
            DWORD sentAt = search.sentAt[round][network][port - FirstLocalPort];
            bool before = sentAt != 0 && static_cast<LONG>(arrivedAt - sentAt) >= 0;
            if (before && (latest == 0 || static_cast<LONG>(sentAt - latest) > 0))
                latest = sentAt;
        }
    }
    return latest;
}
