// Telling the player what happened on the servers.
#include "ui/server_news.h"

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "ui/main_window.h"
#include "ui/notification_icon.h"
#include "ui/player_list.h"

bool NewsFlashing;

namespace {

// Where a buddy has been seen in this run.
struct BuddySighting {
    DWORD address;
    WORD port;
    wchar_t name[PlayerNameSize];
};

// Enough for every buddy on many servers; past it, sightings are not noted.
const int MaxSightings = 4096;
const UINT NewsInterval = 250;

BuddySighting* Sightings;
int SightingCount;
// The lines not yet told, "Iron Stoat is playing on Quarrix Central." each,
// the balloon's lines, and the server of the latest, which a click on the
// balloon selects.
wchar_t PendingNews[StatusTextSize];
wchar_t PendingBalloon[NotificationTextSize];
DWORD NewsAddress;
WORD NewsPort;

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

// The balloon takes the line without its full stop, one line each.
void AddBalloonLine(const wchar_t* line)
{
    int used = lstrlenW(PendingBalloon);
    if (used > 0 && used < NotificationTextSize - 1)
        PendingBalloon[used++] = L'\n';
    lstrcpynW(PendingBalloon + used, line, NotificationTextSize - used);
    int length = lstrlenW(PendingBalloon);
    if (length > 0 && PendingBalloon[length - 1] == L'.')
        PendingBalloon[length - 1] = L'\0';
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
    NewsFlashing = true;
}

}  // namespace

void AddServerNews(const ServerRecord& record, const wchar_t* line)
{
    int used = lstrlenW(PendingNews);
    FormatText(PendingNews + used, StatusTextSize - used, L"%s%s", used > 0 ? L" " : L"", line);
    AddBalloonLine(line);
    NewsAddress = record.address;
    NewsPort = record.port;
    SetTimer(MainWindow, NewsTimerId, NewsInterval, nullptr);
}

void NoteBuddySightings(int recordIndex)
{
    if (!IsRecordIndex(recordIndex) || !ServerHasBuddy(ServerTable.records[recordIndex]))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    for (int index = 0; index < record.playerCount && index < MaxPlayers; index++) {
        const wchar_t* name = record.players[index].name;
        if (!IsBuddy(name) || SeenBefore(record, name) || !Remember(record, name))
            continue;
        wchar_t line[StatusTextSize];
        FormatText(line, StatusTextSize, L"%s is playing on %s.", name, record.hostName);
        AddServerNews(record, line);
    }
}

void TellServerNews()
{
    // The update's or refresh's closing line comes first.
    if (!TableAtRest())
        return;
    KillTimer(MainWindow, NewsTimerId);
    if (PendingNews[0] == L'\0')
        return;
    StatusMessage(L"%s", PendingNews);
    if (GetForegroundWindow() != MainWindow)
        ShowNewsBalloon(PendingBalloon, NewsAddress, NewsPort);
    PendingNews[0] = L'\0';
    PendingBalloon[0] = L'\0';
    FlashUntilActive();
}

void NoteWindowActivated()
{
    NewsFlashing = false;
    NoteNewsSeen();
}

void ForgetServerNews()
{
    SightingCount = 0;
    PendingNews[0] = L'\0';
    PendingBalloon[0] = L'\0';
    NewsFlashing = false;
}
