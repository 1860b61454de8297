// The wait for a free place.
#include <winsock2.h>

#include "ui/free_place_wait.h"

#include <mmsystem.h>

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "ui/main_window.h"

DWORD FreePlaceSilenceLimit = 60000;

namespace {

struct FreePlaceWait {
    bool waiting;
    DWORD address;
    WORD port;
    wchar_t server[ServerAddressTextSize];
    wchar_t hostName[LongTextSize];
    JoinChoice choice;
    int asked;
    DWORD lastAnswer;  // or when it was first asked
    bool placeFound;   // no longer asked: joined as soon as it may be
};

FreePlaceWait Wait;

// A round still asking is no longer wanted: it would keep the row menu's
// table changes waiting for up to three seconds.
void EndWait()
{
    KillTimer(MainWindow, FreePlaceTimerId);
    CancelServerRefreshFor(RefreshForWait);
    SecureZeroMemory(&Wait, sizeof(Wait));
}

void TellWaiting(const ServerRecord& record)
{
    StatusMessage(L"Waiting for a free place on %s: %d/%d, asked %d time%s. Esc stops.", Wait.hostName,
                  record.playerCount, record.maxClients, Wait.asked, Wait.asked == 1 ? L"" : L"s");
}

// The window is not the active one: its taskbar button flashes until it is.
void FlashIfInactive()
{
    if (GetForegroundWindow() == MainWindow)
        return;
    FLASHWINFO flash = {sizeof(flash), MainWindow, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

}  // namespace

void StartFreePlaceWait(int recordIndex, const JoinChoice& choice)
{
    StopFreePlaceWait(true);
    if (!IsRecordIndex(recordIndex))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    Wait.address = record.address;
    Wait.port = record.port;
    FormatServerAddress(record.address, record.port, Wait.server, ServerAddressTextSize);
    lstrcpynW(Wait.hostName, record.hostName, LongTextSize);
    Wait.choice = choice;
    Wait.waiting = SetTimer(MainWindow, FreePlaceTimerId, FreePlaceAskInterval, nullptr) != 0;
    if (Wait.waiting)
        AskForFreePlace();
}

void StopFreePlaceWait(bool quietly)
{
    if (!Wait.waiting)
        return;
    if (!quietly)
        StatusMessage(L"Stopped waiting for %s.", Wait.hostName);
    EndWait();
}

bool FreePlaceWaitRunning()
{
    return Wait.waiting;
}

void AskForFreePlace()
{
    if (!Wait.waiting)
        return;
    if (Wait.asked > 0 && timeGetTime() - Wait.lastAnswer >= FreePlaceSilenceLimit) {
        StatusMessage(L"%s stopped answering.", Wait.hostName);
        EndWait();
        return;
    }
    // A round still under way, or another refresh, is left to end: the
    // server is asked no faster.
    int index = FindServerRecord(Wait.address, Wait.port);
    if (index == -1 || !StartServerRefresh(index, RefreshForWait))
        return;
    // Silence counts from the first time the server is asked.
    if (Wait.asked++ == 0)
        Wait.lastAnswer = timeGetTime();
    TellWaiting(ServerTable.records[index]);
}

void FollowFreePlace(int recordIndex)
{
    if (!Wait.waiting || Wait.placeFound || !IsRecordIndex(recordIndex))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    if (record.address != Wait.address || record.port != Wait.port)
        return;
    Wait.lastAnswer = timeGetTime();
    if (HasNoFreePlace(record)) {
        TellWaiting(record);
        return;
    }
    Wait.placeFound = true;
    KillTimer(MainWindow, FreePlaceTimerId);
    FlashIfInactive();
    MessageBeep(MB_OK);
    PostMessageW(MainWindow, WM_TAKE_FREE_PLACE, 0, 0);
}

bool TakeFreePlace(wchar_t server[ServerAddressTextSize], JoinChoice* choice)
{
    if (!Wait.waiting || !Wait.placeFound)
        return false;
    if (!IsWindowEnabled(MainWindow)) {
        StatusMessage(L"A place is free on %s: joining as soon as the open dialog closes.", Wait.hostName);
        FlashIfInactive();
        return false;
    }
    lstrcpynW(server, Wait.server, ServerAddressTextSize);
    *choice = Wait.choice;
    EndWait();
    return true;
}

void FollowWindowEnabled()
{
    // Posted: the dialog that enabled the window is still closing.
    if (Wait.waiting && Wait.placeFound)
        PostMessageW(MainWindow, WM_TAKE_FREE_PLACE, 0, 0);
}
