// Following a join link.
#include <winsock2.h>

#include "ui/link_join.h"

#include <wchar.h>

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "launcher/join_link.h"
#include "resources/resource.h"
#include "settings/address_list.h"
#include "settings/link_registration.h"
#include "ui/dialog_placement.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_join.h"
#include "ui/server_list.h"

namespace {

const int QuestionSize = 3 * LongTextSize;
const int ShownLinkSize = 80;
// The refresh's three tries, and a second more.
const DWORD SilenceLimit = RefreshAttempts * RefreshWaitMilliseconds + 1000;
// How often a link waiting for an update to end looks again.
const DWORD RestPoll = 250;

enum LinkStage { LinkIdle, LinkLookingUp, LinkAwaitingRest, LinkAsking, LinkAnswered, LinkSilent };

struct LinkFollow {
    LinkStage stage;
    wchar_t text[JoinLinkLimit + 2];  // one more than a link may have
    JoinLink link;
    DWORD address;
    wchar_t server[ServerAddressTextSize];
    NameLookup* lookup;
};

LinkFollow Link;

void StopFollowing()
{
    SetLinkedServer(0, 0);
    KillTimer(MainWindow, JoinLinkTimerId);
    ReleaseNameLookup(Link.lookup);
    Link.lookup = nullptr;
    Link.stage = LinkIdle;
}

int TellPlayer(const wchar_t* text, UINT type)
{
    PaintHeldChanges();
    return MessageBoxW(MainWindow, text, L"Join Link", type);
}

void RefuseLink(const wchar_t* reason)
{
    wchar_t shown[ShownLinkSize];
    ShortenLink(Link.text, shown, ShownLinkSize);
    wchar_t text[QuestionSize];
    FormatText(text, QuestionSize, L"This link cannot be followed:\r\n\r\n%s\r\n\r\n%s", shown, reason);
    TellPlayer(text, MB_ICONWARNING | MB_OK);
}

// The server is asked now, or once the update or refresh under way has
// ended; its record is made when the table has none.
void AskLinkedServer()
{
    CancelBackgroundRefresh();
    FormatServerAddress(Link.address, Link.link.port, Link.server, ServerAddressTextSize);
    int index = FindServerRecord(Link.address, Link.link.port);
    if (index == -1 && TableAtRest()) {
        index = AppendServerRecord(Link.address, Link.link.port);
        // The player list points into the table, which has moved.
        FillPlayerList();
    }
    if (index == -1 || !StartServerRefresh(index)) {
        Link.stage = LinkAwaitingRest;
        SetTimer(MainWindow, JoinLinkTimerId, RestPoll, nullptr);
        return;
    }
    Link.stage = LinkAsking;
    SetTimer(MainWindow, JoinLinkTimerId, SilenceLimit, nullptr);
}

// An update runs: the server is asked by it when its table holds the
// server; else once it has ended.
void FollowLinkDuringUpdate()
{
    int index = FindServerRecord(Link.address, Link.link.port);
    const ServerRecord* record = index != -1 ? &ServerTable.records[index] : nullptr;
    if (record != nullptr && record->offered) {
        Link.stage = LinkAnswered;
        PostMessageW(MainWindow, WM_ASK_JOIN_LINK, 0, 0);
    } else if (!TableAtRest()) {
        CancelBackgroundRefresh();
        SetTimer(MainWindow, JoinLinkTimerId, RestPoll, nullptr);
    } else if (record != nullptr && record->attempts >= MaxRequests) {
        Link.stage = LinkSilent;
        PostMessageW(MainWindow, WM_ASK_JOIN_LINK, 0, 0);
    } else {
        AskLinkedServer();
    }
}

void FollowAddress(DWORD address)
{
    KillTimer(MainWindow, JoinLinkTimerId);
    if (address == 0) {
        wchar_t text[QuestionSize];
        FormatText(text, QuestionSize, L"Couldn't resolve %s.", Link.link.host);
        StopFollowing();
        TellPlayer(text, MB_ICONWARNING | MB_OK);
        return;
    }
    Link.address = address;
    // An update that builds its table from now on asks it first.
    SetLinkedServer(address, Link.link.port);
    AskLinkedServer();
}

// Looks the host up beside the window, for as long as an update's names.
void LookUpHost()
{
    char host[HostNameSize];
    WideCharToMultiByte(CP_ACP, 0, Link.link.host, -1, host, HostNameSize, nullptr, nullptr);
    DWORD address = 0;
    if (ReadDottedAddress(host, &address)) {
        FollowAddress(address);
        return;
    }
    Link.lookup = CreateNameLookup(1);
    if (Link.lookup == nullptr) {
        FollowAddress(0);
        return;
    }
    lstrcpynA(Link.lookup->names[0].host, host, HostNameSize);
    Link.lookup->notify = MainWindow;
    Link.lookup->message = WM_JOIN_LINK_LOOKED_UP;
    Link.stage = LinkLookingUp;
    StatusMessage(L"Looking up %s...", Link.link.host);
    SetTimer(MainWindow, JoinLinkTimerId, NameLookupMilliseconds, nullptr);
    StartNameLookup(Link.lookup);
}

void AskToJoin(int recordIndex)
{
    const ServerRecord& server = ServerTable.records[recordIndex];
    int row = RowOfRecord(recordIndex);
    if (row != -1)
        ShowServerRow(row);
    wchar_t question[QuestionSize];
    FormatText(question, QuestionSize, L"Join %s (%s, %d/%d) at %s%s?", server.hostName, server.mapName,
               server.playerCount, server.maxClients, Link.server, Link.link.spectator ? L" as a spectator" : L"");
    PaintHeldChanges();
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_JOIN_LINK), MainWindow, JoinLinkDialogProc,
                        reinterpret_cast<LPARAM>(question)) == IDOK)
        JoinRecordAs(recordIndex, Link.link.spectator ? JoinAsSpectator : JoinAsPlayer);
}

void OfferSilentJoin()
{
    wchar_t question[QuestionSize];
    FormatText(question, QuestionSize, L"%s did not answer. Join it all the same?", Link.server);
    if (TellPlayer(question, MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    JoinChoice choice = {Link.link.spectator, L""};
    JoinAndClose(Link.server, choice);
}

}  // namespace

void KeepJoinLink(const wchar_t* text)
{
    lstrcpynW(Link.text, text, JoinLinkLimit + 2);
    // The server of a link to an address is in the table of the update
    // that starts with the window, and asked first.
    JoinLink link;
    char host[HostNameSize];
    DWORD address;
    if (ReadJoinLink(Link.text, true, &link) == nullptr &&
        WideCharToMultiByte(CP_ACP, 0, link.host, -1, host, HostNameSize, nullptr, nullptr) > 0 &&
        ReadDottedAddress(host, &address))
        SetLinkedServer(address, link.port);
    if (MainWindow != nullptr)
        PostMessageW(MainWindow, WM_FOLLOW_JOIN_LINK, 0, 0);
}

bool TakeHandedLink(const COPYDATASTRUCT* data)
{
    const DWORD Limit = (JoinLinkLimit + 2) * sizeof(wchar_t);
    if (data == nullptr || data->dwData != JoinLinkCopyData || data->cbData == 0 || data->cbData > Limit ||
        data->cbData % sizeof(wchar_t) != 0)
        return false;
    const wchar_t* text = static_cast<const wchar_t*>(data->lpData);
    if (text[data->cbData / sizeof(wchar_t) - 1] != L'\0')
        return false;
    KeepJoinLink(text);
    return true;
}

void FollowJoinLink()
{
    StopFollowing();
    // Only a quarrix: link, or a server's address or dotted name, is taken
    // for one: any other command line is passed over, as it always was.
    bool linkLike = _wcsnicmp(Link.text, L"quarrix:", 8) == 0;
    const wchar_t* refusal = ReadJoinLink(Link.text, true, &Link.link);
    if (refusal != nullptr && linkLike)
        RefuseLink(refusal);
    if (refusal != nullptr || (!linkLike && wcschr(Link.link.host, L'.') == nullptr))
        return;
    LookUpHost();
}

void FollowLinkLookup(const NameLookup* lookup)
{
    // A lookup given up before may share the address of this one.
    if (Link.stage != LinkLookingUp || lookup != Link.lookup || !NameLookupDone(Link.lookup))
        return;
    DWORD address = FoundAddress(Link.lookup, 0);
    ReleaseNameLookup(Link.lookup);
    Link.lookup = nullptr;
    FollowAddress(address);
}

void FollowLinkedRecord(int recordIndex)
{
    if (Link.stage != LinkAsking || !IsRecordIndex(recordIndex))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    if (record.address != Link.address || record.port != Link.link.port)
        return;
    KillTimer(MainWindow, JoinLinkTimerId);
    Link.stage = LinkAnswered;
    // Asked from the window's own loop, not inside the refresh's message.
    PostMessageW(MainWindow, WM_ASK_JOIN_LINK, 0, 0);
}

void FollowJoinLinkTimer()
{
    KillTimer(MainWindow, JoinLinkTimerId);
    if (Link.stage == LinkAwaitingRest) {
        FollowLinkDuringUpdate();
    } else if (Link.stage == LinkLookingUp) {
        FollowAddress(0);
    } else if (Link.stage == LinkAsking) {
        Link.stage = LinkSilent;
        PostMessageW(MainWindow, WM_ASK_JOIN_LINK, 0, 0);
    }
}

void AskJoinLink()
{
    LinkStage stage = Link.stage;
    Link.stage = LinkIdle;
    SetLinkedServer(0, 0);
    if (stage == LinkSilent) {
        OfferSilentJoin();
        return;
    }
    int index = FindServerRecord(Link.address, Link.link.port);
    if (stage == LinkAnswered && index != -1)
        AskToJoin(index);
}

void OfferToTakeOverLinks()
{
    wchar_t program[PathSize];
    if (!LinksOpenAMovedCopy(program))
        return;
    wchar_t question[QuestionSize];
    FormatText(question, QuestionSize,
               L"Join links open %s, which is no longer there. Open them with this copy of the browser?", program);
    if (TellPlayer(question, MB_ICONQUESTION | MB_YESNO) == IDYES)
        RegisterLinks();
}

INT_PTR CALLBACK JoinLinkDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(dialog, IDC_JOIN_LINK_TEXT, reinterpret_cast<const wchar_t*>(lParam));
        CentreOverOwner(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

bool FollowingJoinLink()
{
    return Link.stage != LinkIdle;
}
