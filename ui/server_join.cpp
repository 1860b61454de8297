// Joining a row's server.
#include <winsock2.h>

#include "ui/server_join.h"

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "ui/free_place_wait.h"
#include "ui/join_dialog.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/server_list.h"

namespace {

const int QuestionSize = LongTextSize + 64;

// A full server takes no one: the player may wait for a free place instead.
// The record is found again, as the table may have moved meanwhile.
void OfferToWait(DWORD address, WORD port, const wchar_t* hostName, const JoinChoice& choice)
{
    wchar_t question[QuestionSize];
    FormatText(question, QuestionSize, L"%s is full. Join as soon as a place is free?", hostName);
    PaintHeldChanges();
    if (MessageBoxW(MainWindow, question, L"Server Full", MB_ICONQUESTION | MB_YESNO) == IDYES)
        StartFreePlaceWait(FindServerRecord(address, port), choice);
}

}  // namespace

void LaunchGame(int item)
{
    LaunchGameAs(item, JoinAsPlayer);
}

void LaunchGameAs(int item, JoinKind kind)
{
    if (item != -1)
        JoinRecordAs(ServerRowRecord(item), kind);
}

void JoinRecordAs(LPARAM record, JoinKind kind)
{
    // A second double-click during the search starts no other.
    if (GameSearchRunning() || !IsRecordIndex(record))
        return;
    // Taken before any question: an update may move or replace the table
    // meanwhile.
    const ServerRecord& server = ServerTable.records[record];
    wchar_t address[ServerAddressTextSize];
    FormatServerAddress(server.address, server.port, address, ServerAddressTextSize);
    wchar_t hostName[LongTextSize];
    lstrcpynW(hostName, server.hostName, LongTextSize);
    bool spectator = kind == JoinAsSpectator;
    int needed = spectator ? NeedsSpectatorPassword : NeedsPlayerPassword;
    bool asked = kind == JoinWithPassword || (server.needPass & needed) != 0;
    bool full = HasNoFreePlace(server);
    DWORD serverAddress = server.address;
    WORD serverPort = server.port;
    StopFreePlaceWait(false);
    CancelBackgroundRefresh();

    JoinChoice choice = {spectator, L""};
    if (asked && !AskJoinPassword(GetModuleHandleW(nullptr), MainWindow, hostName, address,
                                  spectator ? SpectatorPassword : PlayerPassword, choice.password))
        return;
    if (full)
        OfferToWait(serverAddress, serverPort, hostName, choice);
    else
        JoinAndClose(address, choice);
    SecureZeroMemory(&choice, sizeof(choice));
}

void JoinAndClose(const wchar_t* address, const JoinChoice& choice)
{
    if (JoinServer(address, choice) == GameStarted)
        DestroyWindow(MainWindow);
}

void FinishJoinSearch(int outcome)
{
    if (FinishGameSearch(outcome))
        DestroyWindow(MainWindow);
}

void JoinFreePlace()
{
    wchar_t server[ServerAddressTextSize];
    JoinChoice choice = {};
    if (TakeFreePlace(server, &choice))
        JoinAndClose(server, choice);
    SecureZeroMemory(&choice, sizeof(choice));
}
