// What keeps the list fresh while the window is open.
#include "ui/refresh_schedule.h"

#include <mmsystem.h>
#include <stdlib.h>

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "launcher/game_launcher.h"
#include "settings/settings.h"
#include "ui/free_place_wait.h"
#include "ui/link_join.h"
#include "ui/main_window.h"
#include "ui/player_list.h"

DWORD RefreshMinuteLength = 60000;
DWORD RefreshScheduleTick = 1000;

namespace {

// When the table last came to rest from an update or a refresh other than
// the watched servers' own: the list's next refresh is counted from then.
DWORD RestSince;

bool ScheduleWaits()
{
    return !TableAtRest() || GameSearchRunning() || FreePlaceWaitRunning() || FollowingJoinLink();
}

// Every server of the table, the watched ones first: while the list is
// refreshed, it asks them on their interval.
void RefreshListedServers()
{
    int count = ServerTable.count;
    int* indexes = static_cast<int*>(malloc((count > 0 ? count : 1) * sizeof(int)));
    if (indexes == nullptr)
        return;
    int asked = 0;
    for (int index = 0; index < count; index++) {
        if (FindWatchedServer(ServerTable.records[index].address, ServerTable.records[index].port) != -1)
            indexes[asked++] = index;
    }
    int watched = asked;
    for (int index = 0; index < count; index++) {
        if (FindWatchedServer(ServerTable.records[index].address, ServerTable.records[index].port) == -1)
            indexes[asked++] = index;
    }
    StartServersRefresh(indexes, count, RefreshListed, watched);
    free(indexes);
}

// A watched server the table does not hold gets a record of its own, which
// its first answer lists; the table may grow only while at rest.
int WatchedRecord(const WatchedServer& watched)
{
    int index = FindServerRecord(watched.address, watched.port);
    if (index != -1)
        return index;
    index = AppendServerRecord(watched.address, watched.port);
    // The player list points into the table, which has moved.
    if (index != -1)
        FillPlayerList();
    return index;
}

// Asks, quietly, the watched servers that nothing has asked for the
// interval: a refresh's or an update's request counts.
void AskDueWatchedServers(DWORD now)
{
    int due[MaxWatchedServers];
    int count = 0;
    for (int watch = 0; watch < WatchedServerCount; watch++) {
        int index = WatchedRecord(WatchedServers[watch]);
        if (index == -1)
            continue;
        DWORD sentAt = ServerTable.records[index].sentAt;
        if (sentAt == 0 || now - sentAt >= WatchAskInterval)
            due[count++] = index;
    }
    if (count > 0)
        StartServersRefresh(due, count, RefreshWatched);
}

}  // namespace

void StartRefreshSchedule()
{
    RestSince = timeGetTime();
    SetTimer(MainWindow, RefreshScheduleTimerId, RefreshScheduleTick, nullptr);
}

void FollowRefreshSchedule()
{
    DWORD now = timeGetTime();
    if (ScheduleWaits()) {
        if (UpdateBusy || (RefreshBusy && LatestRefreshPurpose() != RefreshWatched))
            RestSince = now;
        return;
    }
    if (RefreshMinutes > 0 && ServerTable.count > 0 && now - RestSince >= RefreshMinutes * RefreshMinuteLength) {
        RestSince = now;
        RefreshListedServers();
        return;
    }
    AskDueWatchedServers(now);
}
