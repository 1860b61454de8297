// Telling the player when a buddy starts playing.
#include "ui/buddy_nudge.h"

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "ui/main_window.h"
#include "ui/player_list.h"

bool BuddyFlashing;

namespace {

// Where a buddy has been seen in this run.
struct BuddySighting {
    DWORD address;
    WORD port;
    wchar_t name[PlayerNameSize];
};

// Enough for every buddy on many servers; past it, sightings are not noted.
const int MaxSightings = 4096;
const UINT NudgeInterval = 250;

BuddySighting* Sightings;
int SightingCount;
// The lines not yet told, "Iron Stoat is playing on Quarrix Central." each.
wchar_t PendingNews[StatusTextSize];

bool SeenBefore(const ServerRecord& record, const wchar_t* name)
{
    for (int index = 0; index < SightingCount; index++) {
        const BuddySighting& seen = Sightings[index];
        if (seen.address == record.address && seen.port == record.port && wcscmp(seen.name, name) == 0)
            return true;
    }
    return false;
}

bool Remember(const ServerRecord& record, const wchar_t* name)
{
    if (Sightings == nullptr)
        Sightings = static_cast<BuddySighting*>(HeapAlloc(GetProcessHeap(), 0, MaxSightings * sizeof(BuddySighting)));
    if (Sightings == nullptr || SightingCount == MaxSightings)
        return false;
    BuddySighting& seen = Sightings[SightingCount++];
    seen.address = record.address;
    seen.port = record.port;
    lstrcpynW(seen.name, name, PlayerNameSize);
    return true;
}

void AddNews(const ServerRecord& record, const wchar_t* name)
{
    int used = lstrlenW(PendingNews);
    FormatText(PendingNews + used, StatusTextSize - used, L"%s%s is playing on %s.", used > 0 ? L" " : L"", name,
               record.hostName);
}

void FlashUntilActive()
{
    if (GetForegroundWindow() == MainWindow)
        return;
    FLASHWINFO flash = {};
    flash.cbSize = sizeof(flash);
    flash.hwnd = MainWindow;
    flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
    BuddyFlashing = true;
}

}  // namespace

void NoteBuddySightings(int recordIndex)
{
    if (!IsRecordIndex(recordIndex) || !ServerHasBuddy(ServerTable.records[recordIndex]))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    for (int index = 0; index < record.playerCount && index < MaxPlayers; index++) {
        const wchar_t* name = record.players[index].name;
        if (IsBuddy(name) && !SeenBefore(record, name) && Remember(record, name))
            AddNews(record, name);
    }
    if (PendingNews[0] != L'\0')
        SetTimer(MainWindow, NudgeTimerId, NudgeInterval, nullptr);
}

void TellBuddySightings()
{
    // The update's or refresh's closing line comes first.
    if (!TableAtRest())
        return;
    KillTimer(MainWindow, NudgeTimerId);
    if (PendingNews[0] == L'\0')
        return;
    StatusMessage(L"%s", PendingNews);
    PendingNews[0] = L'\0';
    FlashUntilActive();
}

void NoteWindowActivated()
{
    BuddyFlashing = false;
}

void ForgetBuddySightings()
{
    SightingCount = 0;
    PendingNews[0] = L'\0';
    BuddyFlashing = false;
}
